#pragma once
// The MP3 decoder on libmpg123: 16-bit PCM at the rate and channel count of the file's first
// frame. Frames of another format later in the file are resampled and mixed to that format, so
// that every block of a track fits the conversion stream opened for it.

#include <memory>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"

struct mpg123_handle_struct;

namespace brovana {

class Mpg123Decoder final : public Mp3Decoder {
 public:
  Mpg123Decoder();
  ~Mpg123Decoder() override;
  Mpg123Decoder(const Mpg123Decoder&) = delete;
  Mpg123Decoder& operator=(const Mpg123Decoder&) = delete;

  // False when the library could not make a handle; every input then fails.
  bool valid() const { return handle_ != nullptr; }

  int createInput(const std::string& path) override;
  int openInput() override;
  DecodeStatus decode() override;
  std::span<const int16_t> block() const override { return current_; }
  PcmFormat format() const override { return format_; }
  long long bytesRead() const override;
  void closeInput() override;

 private:
  enum class Frame { Decoded, Done, Failed };
  Frame readFrame(std::vector<int16_t>& into);
  bool allowAllFormats();
  bool allowOnly(PcmFormat format);

  struct HandleDeleter {
    void operator()(mpg123_handle_struct* handle) const;
  };
  std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
  std::string path_;
  bool inputOpen_ = false;
  PcmFormat format_;
  // One block of look-ahead, so that the file's last block can be told as the last.
  std::vector<int16_t> current_;
  std::vector<int16_t> next_;
  Frame nextFrame_ = Frame::Done;
  bool primed_ = false;
  bool ended_ = false;
};

}  // namespace brovana
