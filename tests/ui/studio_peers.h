#pragma once
// What a windowed studio needs around it in a test: Icecast, the service emulator with the
// member "demo", a playlist of two tone tracks, and the station stored by the real
// `brovana-live --configure` in a scratch settings folder. Decoded tracks are paced by the clock
// at four times real time, without a sound card.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "app/program.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "broadcast/engine_part.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_encoder.h"
#include "support/demo_station.h"
#include "support/tone_files.h"

namespace brovana::test {

// The studio's main window on the given settings, with the real broadcast parts; initialise()
// runs the start-up.
struct WindowedStudio {
  WindowedStudio(const std::string& webHost, Registry& registry)
      : window(MainWindowContext{webHost, registry, http, prompts, exit, parts, nullptr, std::nullopt}) {}

  CurlHttpClient http;
  QtPrompts prompts;
  QtProgramExit exit;
  LameEncoderLibrary codec;
  PlatformDecoderLibrary decoders;
  QtStudioParts parts{prompts, codec,
                      [this](ConversionStage& stage, const EngineWiring& wiring, Prompts& shown) {
                        return std::make_unique<EnginePart>(stage, decoders, shown, wiring);
                      }};
  MainWindow window;
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
    for (int hz : {440, 880})
      ASSERT_TRUE(makeTone(scratch.file("music/tone" + std::to_string(hz) + ".mp3"),
                           {.frequency = double(hz), .seconds = 12, .title = "Tone " + std::to_string(hz)}));
    scratch.write("music/tones.m3u", "#EXTM3U\r\ntone440.mp3\r\ntone880.mp3\r\n");
    ASSERT_TRUE(configure({"--title", "Test tones"})) << scratch.read("run.log");
  }
  std::string playlist() const { return scratch.file("music/tones.m3u"); }
  // A shown window, by its object name or its title; an element of a window, by its id.
  static QWidget* shownWindow(const QString& name) {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() && (window->objectName() == name || window->windowTitle() == name))
        return window;
    return nullptr;
  }
  template <typename Widget = QWidget>
  static Widget* element(QWidget& window, int id) {
    return window.findChild<Widget*>(QStringLiteral("id%1").arg(id));
  }
  // The program with windows, as brovana-live runs it, on this station and these options; in the
  // working folder, which it changes into and which goes with the test.
  int runWindowed(std::vector<std::string> options = {}) const {
    std::vector<std::string> args = {"brovana-live", "-host", emulator.webHost(), "--workdir", work()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ScopedChdir comeBack(work());
    return runProgram(static_cast<int>(args.size()), argv.data());
  }
};

}  // namespace brovana::test
