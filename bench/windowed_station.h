#pragma once
// What the benchmarks of the windows share: Icecast and the service emulator, a stored demo
// station with a tone to play, and the windowed studio (Qt's offscreen platform) on it, its
// playlist holding the tone.

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/program_values.h"
#include "platform/settings_registry.h"
#include "support/demo_station.h"
#include "support/tone_files.h"
#include "ui/studio_peers.h"

namespace brovana::bench {

// Runs the event loop until `done`, or `limit` is over; false on the limit.
inline bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

struct WindowedStation : test::DemoStation {
  explicit WindowedStation(const char* bench) : name(bench) {
    setenv("XDG_CONFIG_HOME", scratch.file("config").c_str(), 1);
    setenv("BROVANA_PLAYBACK", "off", 1);
    std::filesystem::create_directories(scratch.file("music"));
  }
  ~WindowedStation() {
    if (studio) studio->window.shutDown(true);
    studio.reset();
    programValues().setRegistry(nullptr);
  }

  // Starts the peers and stores the station with `music/tone.mp3` of `seconds`; false, said, when
  // any of it fails.
  bool setUp(double seconds) {
    if (icecast.start() && emulator.ready() &&
        test::makeTone(scratch.file("music/tone.mp3"), {.seconds = seconds, .title = "Tone"}) && configure())
      return true;
    std::fprintf(stderr, "%s: the peers or the station could not be set up\n", name);
    return false;
  }

  // Opens the windows in the station's working folder, the tone in the playlist.
  bool open() {
    here.emplace(work());
    registry.emplace(settingsPath());
    programValues().setRegistry(&*registry);
    studio.emplace(emulator.webHost(), *registry);
    if (!window().initialise()) return false;
    window().show();
    window().studio()->showPlaylistWindow()->addFiles({scratch.file("music/tone.mp3")});
    return true;
  }

  MainWindow& window() { return studio->window; }
  void press() { window().findChild<QPushButton*>(QStringLiteral("id1020"))->click(); }

  // Presses the broadcast button and waits for the playlist on the air; false, said, without.
  bool goOnAir() {
    press();
    if (runUntil([&] { return window().studio()->onAir() == OnAir::Playlist; }, std::chrono::seconds(30)))
      return true;
    std::fprintf(stderr, "%s: the station did not go on the air\n", name);
    return false;
  }

  const char* name;
  std::optional<test::ScopedChdir> here;
  std::optional<SettingsRegistry> registry;
  std::optional<test::WindowedStudio> studio;
};

}  // namespace brovana::bench
