#pragma once
// Tiny MP3 files made byte by byte for tests, benchmarks and fuzz seeds: Layer III frame headers
// with silent payload, Xing frames, ID3v2 and ID3v1 tags.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace brovana::test {

enum class Mpeg { V1 = 3, V2 = 2, V25 = 0 };  // the header's version bits

struct FrameHeader {
  Mpeg version = Mpeg::V1;
  int bitrateIndex = 9;     // 128 kbit/s for MPEG-1
  int sampleRateIndex = 0;  // 44100 Hz for MPEG-1
  int mode = 1;             // j-stereo
  int layerBits = 1;        // Layer III
  bool padding = false;
};

inline std::string headerBytes(const FrameHeader& h) {
  return {static_cast<char>(0xFF),
          static_cast<char>(0xE0 | static_cast<int>(h.version) << 3 | h.layerBits << 1 | 1),
          static_cast<char>(h.bitrateIndex << 4 | h.sampleRateIndex << 2 | (h.padding ? 2 : 0)),
          static_cast<char>(h.mode << 6)};
}

// `count` frames of `frameBytes` bytes each: the header, then silence.
inline std::string frames(const FrameHeader& h, int frameBytes, int count) {
  std::string one = headerBytes(h), all;
  one.resize(frameBytes, '\0');
  for (int i = 0; i < count; ++i) all += one;
  return all;
}

// A first frame carrying a Xing header at `offset` (36, 21 or 13 by version and mode).
inline std::string xingFrame(const FrameHeader& h, int frameBytes, size_t offset, uint32_t frameCount,
                             bool withCount = true, const char* name = "Xing") {
  std::string f = frames(h, frameBytes, 1);
  std::memcpy(&f[offset], name, 4);
  f[offset + 7] = withCount ? 1 : 0;  // flags: the frame count follows
  for (int i = 0; withCount && i < 4; ++i) f[offset + 8 + i] = static_cast<char>(frameCount >> (24 - 8 * i));
  return f;
}

// An ID3v2.3 tag whose size field says `bodyBytes` (the whole tag is 10 bytes more).
inline std::string id3v2Tag(uint32_t bodyBytes) {
  std::string t = std::string("ID3\x03\0\0", 6);
  for (int shift : {21, 14, 7, 0}) t += static_cast<char>((bodyBytes >> shift) & 0x7F);
  t.resize(10 + bodyBytes, '\0');
  return t;
}

// A 128-byte ID3v1 tag; each text is cut to its field.
inline std::string id3v1Tag(const std::string& title, const std::string& artist, const std::string& album,
                            const std::string& year, const std::string& comment, uint8_t genre) {
  std::string t(128, '\0');
  auto put = [&](size_t at, const std::string& text, size_t size) {
    std::memcpy(&t[at], text.data(), std::min(text.size(), size));
  };
  put(0, "TAG", 3);
  put(3, title, 30);
  put(33, artist, 30);
  put(63, album, 30);
  put(93, year, 4);
  put(97, comment, 30);
  t[127] = static_cast<char>(genre);
  return t;
}

// A file of any length: a Xing frame counting MPEG-1 44.1 kHz frames, two frames, and silence
// up to the size the length needs at 32 kbit/s (MPEG-1's lowest rate; a reader believes no
// frame count beyond that).
inline std::string vbrFile(int seconds) {
  auto count = static_cast<uint32_t>((static_cast<long long>(seconds) * 44100 + 1151) / 1152);
  std::string file = xingFrame(FrameHeader{}, 417, 36, count) + frames(FrameHeader{}, 417, 2);
  file.resize(std::max<size_t>(file.size(), static_cast<size_t>(seconds) * 4000), '\0');
  return file;
}

}  // namespace brovana::test
