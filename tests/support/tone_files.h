#pragma once
// Test media made on the spot: sine-tone MP3 files encoded with sox and lame; MP3 decoded as a
// listener hears it, and measures of what was heard.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"

namespace brovana::test {

struct ToneSpec {
  double frequency = 440, seconds = 1;
  int sampleRate = 44100, channels = 2, kbps = 128;
  // An ID3v1 tag with these texts when the title is not empty.
  std::string title{}, artist{}, album{};
  double volume = 0.5;    // of full scale
  double silentEnds = 0;  // makeLibraryTone: seconds of silence at each end, within `seconds`
};

// The tone in the format the path's ending names (.flac .ogg .opus .wav .aiff .mp3), made by
// ffmpeg, its tags from the tone's texts and `volume` the sine's peak; false when ffmpeg failed.
bool makeLibraryTone(const std::string& path, const ToneSpec& tone);

// Single quotes around a word for the shell.
std::string shellQuoted(const std::string& text);
// Writes the tone to `path`; false (with the reason on standard error) when the tools failed.
bool makeTone(const std::string& path, const ToneSpec& spec);

// The format in which decodeMp3 gives what a listener hears.
constexpr PcmFormat kHeard{22050, 2};
// MP3 bytes decoded by the mpg123 command at kHeard; empty when nothing could be decoded.
std::vector<int16_t> decodeMp3(const std::string& mp3);
// The largest magnitude of the samples.
int peak(std::span<const int16_t> samples);

// Relative strength of a tone in the first channel (Goertzel), for comparing candidates.
double tonePower(std::span<const int16_t> samples, PcmFormat format, double frequency);
// The candidate with the most power; -1 for silence or no samples.
double dominantTone(std::span<const int16_t> samples, PcmFormat format,
                    const std::vector<double>& candidates);

}  // namespace brovana::test
