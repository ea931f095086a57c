#pragma once
// What a windowed studio needs around it in a test: Icecast, the service emulator with the
// member "demo", a playlist of two tone tracks, and the station stored by the real
// `brovana-live --configure` in a scratch settings folder. Decoded tracks are paced by the clock
// at four times real time, without a sound card.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/mini_window.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "broadcast/engine_part.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_codec.h"
#include "support/child_process.h"
#include "support/demo_station.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana::test {

inline std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The studio's main window on the given settings, with the real broadcast parts; initialise()
// runs the start-up.
struct WindowedStudio {
  WindowedStudio(const std::string& webHost, Registry& registry)
      : window(StudioContext{webHost, registry, http, prompts, exit, parts, nullptr, std::nullopt}) {}

  CurlHttpClient http;
  QtPrompts prompts;
  QtProgramExit exit;
  LameCodec codec;
  PlatformDecoderLibrary decoders;
  QtStudioParts parts{prompts, codec, [this](AcmConvert& stage, const EngineWiring& wiring, Prompts& shown) {
                        return std::make_unique<EncoderEngine>(stage, decoders, shown, wiring);
                      }};
  MiniWindow window;
};

class StudioPeers : public ::testing::Test, protected DemoStation {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", scratch.file("config").c_str(), 1);
    setenv("BROVANA_PLAYBACK", "off", 1);
    setenv("BROVANA_PACE", "4", 1);
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    std::filesystem::create_directories(scratch.file("music"));
    for (int hz : {440, 880}) {
      ToneSpec tone;
      tone.frequency = hz;
      tone.seconds = 12;
      tone.title = "Tone " + std::to_string(hz);
      ASSERT_TRUE(makeTone(scratch.file("music/tone" + std::to_string(hz) + ".mp3"), tone));
    }
    scratch.write("music/tones.m3u", "#EXTM3U\r\ntone440.mp3\r\ntone880.mp3\r\n");
    ChildProcess configure(
        {builtProgram("brovana-live"), "-host", emulator.webHost(), "--workdir", work(), "--configure",
         "--member", "demo", "--password", "demo-secret", "--title", "Test tones"},
        scratch.file("configure.log"));
    ASSERT_EQ(configure.wait(std::chrono::seconds(60)), 0) << fileText(scratch.file("configure.log"));
  }

  std::string work() const { return scratch.file("work"); }
  std::string playlist() const { return scratch.file("music/tones.m3u"); }
  std::string settingsPath() const { return scratch.file("config/brovana-live/settings.ini"); }
  bool serverOn() const {
    auto account = emulator.account("demo");
    return account && account->serverOn;
  }

  TempFolder scratch;
};

}  // namespace brovana::test
