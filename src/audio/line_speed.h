#pragma once
// Line speeds (the stream bit rate in bits per second) and what each fixes: the MP3 format the
// stream is encoded in, which is also the PCM format captured for line-in. A line speed's
// display name is outputFormatName() of core/speed_names.h.

#include <optional>

#include "audio/audio_encoder.h"

namespace brovana {

class Prompts;

struct LineSpeedFormat {
  int lineSpeed;
  int sampleRate;  // of the MP3 stream, and of line-in PCM
  int channels;    // likewise

  // Each line speed is streamed as MP3 at its own bit rate.
  EncodedFormat mp3() const { return {Codec::Mp3, sampleRate, channels, lineSpeed}; }
  PcmFormat pcm() const { return {sampleRate, channels}; }
};

inline constexpr LineSpeedFormat kLineSpeedFormats[] = {
    {16000, 11025, 1},
    {24000, 22050, 1},
    {32000, 11025, 2},
    {56000, 22050, 2},
};

// None for a value that is not one of the four.
std::optional<LineSpeedFormat> lineSpeedFormat(int lineSpeed);

// The line speed's format; an invalid line speed gets a message box, and none.
std::optional<LineSpeedFormat> checkedLineSpeedFormat(int lineSpeed, Prompts& prompts);

}  // namespace brovana
