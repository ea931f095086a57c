#pragma once
// Decoding of FLAC, Ogg Vorbis, Opus, WAV and AIFF on libsndfile, to 16-bit PCM at the file's own
// rate; files of more than two channels give their first two. libsndfile finds the format in the
// file's contents, so a name's ending does not matter. A damaged file plays as far as it decodes.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"
#include "playlist/track_reader.h"

struct sf_private_tag;

namespace brovana {

// What libsndfile sees in the file: its facts ("MP3" for an MPEG stream, which mpg123 decodes),
// or none with the reason.
std::optional<AudioFacts> sndfileFacts(const std::string& path, std::string& reason);

class SndfileDecoder final : public Mp3Decoder {
 public:
  SndfileDecoder();
  ~SndfileDecoder() override;
  SndfileDecoder(const SndfileDecoder&) = delete;
  SndfileDecoder& operator=(const SndfileDecoder&) = delete;

  int createInput(const std::string& path) override;
  int openInput() override;
  DecodeStatus decode() override;
  std::span<const int16_t> block() const override { return block_; }
  PcmFormat format() const override { return format_; }
  long long bytesRead() const override;
  void closeInput() override;

 private:
  struct Closer {
    void operator()(sf_private_tag* file) const;
  };
  std::unique_ptr<sf_private_tag, Closer> file_;
  std::string path_;
  PcmFormat format_;
  int fileChannels_ = 0;
  long long fileBytes_ = 0;
  long long totalFrames_ = 0;
  long long framesRead_ = 0;
  std::vector<int16_t> read_;   // as the file has them
  std::vector<int16_t> block_;  // one or two channels
  std::vector<int16_t> next_;   // one block of look-ahead, so that the last can be told as the last
  bool ended_ = false;
};

}  // namespace brovana
