// Playback on a real (if silent) sound card: PortAudio's default device routed into a private
// PulseAudio null sink.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "audio/playback.h"
#include "platform/decoder_library.h"
#include "platform/portaudio_output.h"
#include "support/pulse_server.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SoundOutputTest, DefaultDevicePlaysAtRealTimeThroughFormatChanges) {
  test::TempFolder folder;
  test::PulseServer pulse(folder.path());
  ASSERT_TRUE(pulse.ready()) << folder.read("pulseaudio.log");

  PlatformDecoderLibrary library;
  OpenedOutput opened = openPlayback(library, PlaybackSettings{});
  ASSERT_EQ(opened.status, kDecoderOk);
  ASSERT_NE(opened.output, nullptr);
  EXPECT_EQ(dynamic_cast<PacedOutput*>(opened.output.get()), nullptr)
      << "the sound card plays, not the clock";

  // 1.5 s of stereo at 44100 Hz, then 1 s of mono at 22050 Hz. The device takes them no faster
  // than they play, less what its buffer holds.
  std::vector<int16_t> stereo(2 * 1152);
  std::vector<int16_t> mono(576);
  Clock::time_point start = Clock::now();
  for (int i = 0; i < 57; ++i) opened.output->play(stereo, PcmFormat{44100, 2});
  for (int i = 0; i < 38; ++i) opened.output->play(mono, PcmFormat{22050, 1});
  EXPECT_GE(secondsSince(start), 2.5 - 1.0);
  opened.output->close();
}

TEST(SoundOutputTest, NamedDeviceThatDoesNotExistIsReported) {
  PlatformDecoderLibrary library;
  PlaybackSettings settings;
  settings.device = "no such sound device";
  OpenedOutput opened = openPlayback(library, settings);
  EXPECT_EQ(opened.status, kOutputMissing);
  EXPECT_EQ(opened.output, nullptr);

  PortAudioOutput output("no such sound device");
  EXPECT_EQ(output.open(), kOutputMissing);
  std::vector<int16_t> samples(2304);
  output.play(samples, PcmFormat{44100, 2});  // after a failed open: ignored, not a crash
  output.close();
}

}  // namespace
}  // namespace brovana
