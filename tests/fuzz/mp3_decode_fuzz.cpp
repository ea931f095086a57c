// Any bytes as an MP3 file: the decoder either refuses them or gives blocks of whole frames in
// one format, and the stream-rate resampler takes whatever it gives.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/mpg123_decoder.h"
#include "platform/soxr_resampler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace brovana;
  static const std::string path = "/tmp/brovana-fuzz-decode-" + std::to_string(getpid());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), long(size));

  Mpg123Decoder decoder;
  if (decoder.createInput(path) != kDecoderOk || decoder.openInput() != kDecoderOk) return 0;
  PcmFormat format = decoder.format();
  if (!format.valid()) std::abort();
  SoxrResampler resampler(format.sampleRate, 22050, format.channels);
  std::vector<int16_t> out;
  for (DecodeStatus status = DecodeStatus::Block; status == DecodeStatus::Block;) {
    status = decoder.decode();
    if (decoder.format() != format || decoder.block().size() % format.channels != 0) std::abort();
    resampler.process(decoder.block(), out);
    out.clear();
  }
  resampler.drain(out);
  decoder.closeInput();
  return 0;
}
