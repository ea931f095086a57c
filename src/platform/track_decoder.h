#pragma once
// The decoder the playlist engine plays every track with: MP3 through mpg123, the other formats
// through libsndfile, chosen for each file by its contents.

#include "platform/mpg123_decoder.h"
#include "platform/sndfile_decoder.h"

namespace brovana {

class TrackDecoder final : public Mp3Decoder {
 public:
  bool valid() const { return mpeg_.valid(); }

  int createInput(const std::string& path) override;
  int openInput() override { return active_->openInput(); }
  DecodeStatus decode() override { return active_->decode(); }
  std::span<const int16_t> block() const override { return active_->block(); }
  PcmFormat format() const override { return active_->format(); }
  long long bytesRead() const override { return active_->bytesRead(); }
  void closeInput() override { active_->closeInput(); }

 private:
  Mpg123Decoder mpeg_;
  SndfileDecoder other_;
  Mp3Decoder* active_ = &mpeg_;
};

}  // namespace brovana
