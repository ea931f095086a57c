#include "platform/mpg123_decoder.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>

#include "diag/logger.h"

namespace brovana {
namespace {

void initialiseLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

void Mpg123Decoder::HandleDeleter::operator()(mpg123_handle_struct* handle) const {
  mpg123_close(handle);
  mpg123_delete(handle);
}

Mpg123Decoder::Mpg123Decoder() {
  initialiseLibrary();
  int error = MPG123_OK;
  handle_.reset(mpg123_new(nullptr, &error));
  if (!handle_) {
    Logger::log("mpg123: cannot make a decoder: %s\n", mpg123_plain_strerror(error));
    return;
  }
  mpg123_param(handle_.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
}

Mpg123Decoder::~Mpg123Decoder() = default;

bool Mpg123Decoder::allowAllFormats() {
  mpg123_handle* h = handle_.get();
  if (mpg123_format_none(h) != MPG123_OK) return false;
  const long* rates = nullptr;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i) {
    if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
      return false;
  }
  mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_FORCE_MONO, 0);
  return true;
}

bool Mpg123Decoder::allowOnly(PcmFormat format) {
  mpg123_handle* h = handle_.get();
  if (mpg123_format_none(h) != MPG123_OK) return false;
  int channels = format.channels == 1 ? MPG123_MONO : MPG123_STEREO;
  if (mpg123_format(h, format.sampleRate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK) return false;
  // Stereo frames in a mono track are mixed down rather than losing a channel.
  if (format.channels == 1) mpg123_param(h, MPG123_ADD_FLAGS, MPG123_MONO_MIX, 0);
  return true;
}

int Mpg123Decoder::createInput(const std::string& path) {
  closeInput();
  if (!handle_) return kDecoderInternal;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return kInputMissing;
  std::fclose(file);
  path_ = path;
  return kDecoderOk;
}

int Mpg123Decoder::openInput() {
  if (!handle_) return kDecoderInternal;
  if (path_.empty()) return kInputMissing;
  mpg123_handle* h = handle_.get();
  // First look at the file with every format allowed to learn its own; then open it again held
  // to that one format.
  if (!allowAllFormats()) return kDecoderInternal;
  if (mpg123_open(h, path_.c_str()) != MPG123_OK) return kInputMissing;
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  int status = mpg123_getformat(h, &rate, &channels, &encoding);
  mpg123_close(h);
  if (status != MPG123_OK) return kNoAudioFrames;
  PcmFormat format{static_cast<int>(rate), channels};
  if (!format.valid()) return kNoAudioFrames;
  if (!allowOnly(format)) return kDecoderInternal;
  if (mpg123_open(h, path_.c_str()) != MPG123_OK) return kInputMissing;
  status = mpg123_getformat(h, &rate, &channels, &encoding);
  if (status != MPG123_OK || rate != format.sampleRate || channels != format.channels) {
    mpg123_close(h);
    return kNoAudioFrames;
  }
  format_ = format;
  inputOpen_ = true;
  primed_ = false;
  ended_ = false;
  current_.clear();
  next_.clear();
  return kDecoderOk;
}

Mpg123Decoder::Frame Mpg123Decoder::readFrame(std::vector<int16_t>& into) {
  into.clear();
  for (;;) {
    off_t number = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    int status = mpg123_decode_frame(handle_.get(), &number, &audio, &bytes);
    if (status == MPG123_NEW_FORMAT) {
      if (bytes == 0) continue;
      status = MPG123_OK;
    }
    if (status == MPG123_DONE) return Frame::Done;
    if (status != MPG123_OK) {
      Logger::log("mpg123: %s in %s\n", mpg123_strerror(handle_.get()), path_.c_str());
      return Frame::Failed;
    }
    if (bytes == 0) continue;  // a frame that only primes the decoder
    into.resize(bytes / sizeof(int16_t));
    std::memcpy(into.data(), audio, into.size() * sizeof(int16_t));
    return Frame::Decoded;
  }
}

DecodeStatus Mpg123Decoder::decode() {
  current_.clear();
  if (!inputOpen_ || ended_) return DecodeStatus::Error;
  if (!primed_) {
    primed_ = true;
    nextFrame_ = readFrame(next_);
  }
  if (nextFrame_ != Frame::Decoded) {
    ended_ = true;
    return nextFrame_ == Frame::Done ? DecodeStatus::LastBlock : DecodeStatus::Error;
  }
  // A block is a quarter of a second of frames: each block is a step of the engine, and a
  // wake-up when the clock paces it.
  const size_t blockSamples = static_cast<size_t>(format_.sampleRate / 4 * format_.channels);
  current_.swap(next_);
  while ((nextFrame_ = readFrame(next_)) == Frame::Decoded && current_.size() < blockSamples)
    current_.insert(current_.end(), next_.begin(), next_.end());
  if (nextFrame_ == Frame::Done) {
    ended_ = true;
    return DecodeStatus::LastBlock;
  }
  return DecodeStatus::Block;
}

long long Mpg123Decoder::bytesRead() const {
  if (!inputOpen_) return 0;
  off_t position = mpg123_tell_stream(handle_.get());
  return position < 0 ? 0 : static_cast<long long>(position);
}

void Mpg123Decoder::closeInput() {
  if (handle_ && inputOpen_) mpg123_close(handle_.get());
  inputOpen_ = false;
  current_.clear();
  next_.clear();
  primed_ = false;
  ended_ = false;
}

}  // namespace brovana
