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

TEST(SoundOutputTest, DefaultDevicePlaysAtRealTimeThroughFormatChangesAndAMissingOneIsReported) {
  test::TempFolder folder;
  test::PulseServer pulse(folder.path());
  ASSERT_TRUE(pulse.ready()) << folder.read("pulseaudio.log");
  PlatformDecoderLibrary library;
  OpenedOutput opened = openPlayback(library, PlaybackSettings{});
  ASSERT_EQ(opened.status, kDecoderOk);
  ASSERT_EQ(dynamic_cast<PacedOutput*>(opened.output.get()), nullptr)
      << "the sound card plays, not the clock";

  // 1.5 s of stereo at 44100 Hz, then 1 s of mono at 22050 Hz. The device takes them no faster
  // than they play, less what its buffer holds.
  std::vector<int16_t> stereo(2 * 1152), mono(576);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 57; ++i) opened.output->play(stereo, PcmFormat{44100, 2});
  for (int i = 0; i < 38; ++i) opened.output->play(mono, PcmFormat{22050, 1});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  opened.output->close();

  // A named device that does not exist is reported.
  OpenedOutput missing = openPlayback(library, PlaybackSettings{.device = "no such sound device"});
  EXPECT_EQ(std::pair(missing.status, missing.output == nullptr), std::pair(kOutputMissing, true));
  PortAudioOutput output("no such sound device");
  EXPECT_EQ(output.open(), kOutputMissing);
  output.play(std::vector<int16_t>(2304), PcmFormat{44100, 2});  // after a failed open: ignored, not a crash
  output.close();
}

}  // namespace
}  // namespace brovana
