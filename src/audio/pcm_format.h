#pragma once
// The one PCM shape of the program: 16-bit signed interleaved samples.

namespace brovana {

struct PcmFormat {
  int sampleRate = 0;
  int channels = 0;

  int bytesPerFrame() const { return channels * 2; }
  int bytesPerSecond() const { return sampleRate * bytesPerFrame(); }
  bool valid() const { return sampleRate > 0 && (channels == 1 || channels == 2); }
  friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

}  // namespace brovana
