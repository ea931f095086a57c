// Any bytes as an MP3 file: the decoder either refuses them or gives blocks of whole frames in
// one format, and the stream-rate resampler takes whatever it gives.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/mpg123_decoder.h"
#include "platform/soxr_resampler.h"

namespace {

const std::string& scratchFile() {
  static const std::string path = [] {
    std::string pattern = "/tmp/brovana-fuzz-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    return pattern;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace brovana;
  const std::string& path = scratchFile();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  Mpg123Decoder decoder;
  if (decoder.createInput(path) != kDecoderOk || decoder.openInput() != kDecoderOk) return 0;
  PcmFormat format = decoder.format();
  if (!format.valid()) std::abort();
  SoxrResampler resampler(format.sampleRate, 22050, format.channels);
  std::vector<int16_t> out;
  for (int steps = 0; steps < 100000; ++steps) {
    DecodeStatus status = decoder.decode();
    if (decoder.format() != format) std::abort();
    if (decoder.block().size() % static_cast<size_t>(format.channels) != 0) std::abort();
    out.clear();
    resampler.process(decoder.block(), out);
    if (status != DecodeStatus::Block) break;
  }
  out.clear();
  resampler.drain(out);
  decoder.closeInput();
  return 0;
}
