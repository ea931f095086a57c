#include "platform/sndfile_decoder.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "diag/logger.h"

namespace brovana {
namespace {

bool isRegularFile(const std::string& path, long long& size) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = st.st_size;
  return true;
}

const char* formatName(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC:
      return "FLAC";
    case SF_FORMAT_OGG:
      return (format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS ? "Opus" : "Ogg Vorbis";
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
      return "WAV";
    case SF_FORMAT_AIFF:
      return "AIFF";
    case SF_FORMAT_MPEG:
      return "MP3";
    default:
      return nullptr;
  }
}

}  // namespace

std::optional<AudioFacts> sndfileFacts(const std::string& path, std::string& reason) {
  long long size = 0;
  if (!isRegularFile(path, size)) {
    reason = "the file cannot be read";
    return std::nullopt;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    reason = sf_strerror(nullptr);
    return std::nullopt;
  }
  sf_close(file);
  const char* name = formatName(info.format);
  if (name == nullptr || info.samplerate <= 0 || info.channels <= 0) {
    reason = "not a format the studio plays";
    return std::nullopt;
  }
  AudioFacts facts{name, info.samplerate, std::min(info.channels, 2)};
  double seconds = info.frames > 0 ? static_cast<double>(info.frames) / info.samplerate : 0.0;
  facts.seconds = static_cast<int>(std::lround(seconds));
  if (seconds > 0) facts.bitrate = static_cast<int>(std::min(8.0 * size / seconds, 1e9));
  return facts;
}

void SndfileDecoder::Closer::operator()(sf_private_tag* file) const {
  sf_close(file);
}

SndfileDecoder::SndfileDecoder() = default;
SndfileDecoder::~SndfileDecoder() = default;

int SndfileDecoder::createInput(const std::string& path) {
  closeInput();
  if (!isRegularFile(path, fileBytes_)) return kInputMissing;
  path_ = path;
  return kDecoderOk;
}

int SndfileDecoder::openInput() {
  if (path_.empty()) return kInputMissing;
  SF_INFO info{};
  file_.reset(sf_open(path_.c_str(), SFM_READ, &info));
  if (!file_) {
    Logger::log("libsndfile: %s in %s\n", sf_strerror(nullptr), path_.c_str());
    return kNoAudioFrames;
  }
  if (info.samplerate <= 0 || info.channels <= 0) {
    file_.reset();
    return kNoAudioFrames;
  }
  // Floating-point data (Vorbis, Opus) past full scale is clipped rather than wrapped round; it is
  // not scaled to its peak, which would undo the levels the loudness works out.
  sf_command(file_.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
  fileChannels_ = info.channels;
  format_ = PcmFormat{info.samplerate, std::min(info.channels, 2)};
  totalFrames_ = info.frames;
  framesRead_ = 0;
  ended_ = false;
  next_.clear();
  return kDecoderOk;
}

DecodeStatus SndfileDecoder::decode() {
  block_.clear();
  if (!file_ || ended_) return DecodeStatus::Error;
  // A quarter of a second a block, as the MP3 decoder gives them.
  const sf_count_t frames = std::max(1, format_.sampleRate / 4);
  auto readBlock = [&](std::vector<int16_t>& into) {
    read_.resize(static_cast<size_t>(frames * fileChannels_));
    sf_count_t got = sf_readf_short(file_.get(), read_.data(), frames);
    if (got <= 0) return false;
    framesRead_ += got;
    into.resize(static_cast<size_t>(got * format_.channels));
    for (sf_count_t f = 0; f < got; ++f)
      for (int c = 0; c < format_.channels; ++c)
        into[static_cast<size_t>(f * format_.channels + c)] =
            read_[static_cast<size_t>(f * fileChannels_ + c)];
    return true;
  };
  if (next_.empty() && !readBlock(next_)) {
    ended_ = true;
    if (sf_error(file_.get()) != SF_ERR_NO_ERROR)
      Logger::log("libsndfile: %s in %s\n", sf_strerror(file_.get()), path_.c_str());
    return framesRead_ > 0 ? DecodeStatus::LastBlock : DecodeStatus::Error;
  }
  block_.swap(next_);
  next_.clear();
  if (!readBlock(next_)) {
    ended_ = true;
    return DecodeStatus::LastBlock;
  }
  return DecodeStatus::Block;
}

long long SndfileDecoder::bytesRead() const {
  if (!file_ || totalFrames_ <= 0) return 0;
  return static_cast<long long>(static_cast<double>(fileBytes_) *
                                std::min(1.0, 1.0 * framesRead_ / totalFrames_));
}

void SndfileDecoder::closeInput() {
  file_.reset();
  block_.clear();
  next_.clear();
  ended_ = false;
  framesRead_ = 0;
}

}  // namespace brovana
