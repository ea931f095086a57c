#pragma once
// The Ogg page layout the fan-out needs to start a listener's stream at a stream's first page:
// a page is the capture pattern "OggS", a 27-byte head whose byte 5 flags the first (2) and the
// last (4) page of a logical stream, a segment table, then the body.

#include <cstddef>
#include <cstdint>
#include <span>

namespace brovana {

inline constexpr uint8_t kOggFirstPage = 2, kOggLastPage = 4;

// The length of the whole page at the front of `bytes`, 0 when no whole page is there.
inline size_t oggPageBytes(std::span<const uint8_t> bytes) {
  constexpr size_t kHead = 27;
  if (bytes.size() < kHead || bytes[0] != 'O' || bytes[1] != 'g' || bytes[2] != 'g' || bytes[3] != 'S')
    return 0;
  const size_t segments = bytes[26];
  if (bytes.size() < kHead + segments) return 0;
  size_t length = kHead + segments;
  for (size_t i = 0; i < segments; ++i) length += bytes[kHead + i];
  return length <= bytes.size() ? length : 0;
}

// Where the first page that begins a logical stream starts in `bytes` (whole pages), or
// bytes.size() when none does.
inline size_t oggStreamStart(std::span<const uint8_t> bytes) {
  size_t at = 0;
  while (size_t length = oggPageBytes(bytes.subspan(at))) {
    if (bytes[at + 5] & kOggFirstPage) return at;
    at += length;
  }
  return bytes.size();
}

}  // namespace brovana
