// The windows' event loop while the studio waits on peers that do not answer: the longest time the
// GUI thread went without handling its events, as the member would feel it, while
//   - the broadcast server takes the connection and never answers (a start, then its stop),
//   - a DSP plug-in never returns from a block (it is launched on the air, then "-none-"),
//   - the service holds every answer about the account (Switch to Hostplay, Restart Server).
// Goal: no stall over 100 ms.
//
//   bench_event_loop      (on Qt's offscreen platform, with Icecast and the service emulator;
//                          about a minute)

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "diag/logger.h"
#include "support/journal.h"
#include "support/scripted_peer.h"
#include "ui/dialog_driver.h"
#include "windowed_station.h"

using namespace brovana;
using namespace std::chrono_literals;

namespace {

// The longest gap between two turns of the event loop, measured by a timer that wants a turn
// every 5 ms.
class StallMeter {
 public:
  StallMeter() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, clock_.restart()); });
    timer_.start(5);
  }
  void reset() {
    longest_ = 0;
    clock_.restart();
  }
  qint64 longest() const { return longest_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};

struct Bench : bench::WindowedStation {
  Bench() : WindowedStation("bench_event_loop") {}
  StallMeter meter;
  bool withinGoal = true;

  void trigger(int id) { window().findChild<QAction*>(QStringLiteral("id%1").arg(id))->trigger(); }
  void triggerNamed(const char* text) {
    for (QAction* action : window().findChildren<QAction*>())
      if (action->text().contains(QLatin1String(text))) return action->trigger();
  }
  // Runs `act`, then the event loop for `watch`, and reports the longest stall meanwhile.
  void measure(const char* what, const std::function<void()>& act, std::chrono::milliseconds watch) {
    meter.reset();
    act();
    bench::runUntil([] { return false; }, watch);
    std::printf("  %-58s longest stall %4lld ms\n", what, static_cast<long long>(meter.longest()));
    withinGoal = withinGoal && meter.longest() <= 100;
  }
  bool idle() { return !window().studio()->starting() && !window().studio()->worker().busy(); }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  Bench bench;
  std::filesystem::create_directories(bench.scratch.file("work/Plugins"));
  std::filesystem::copy_file(STUCK_PLUGIN, bench.scratch.file("work/Plugins/stuck.so"));
  if (!bench.setUp(60)) return 1;
  test::DialogDriver dialogs;  // every question No, every box OK
  if (!bench.open()) return 1;
  bench::runUntil([] { return false; }, 1s);
  std::printf("The windows' longest stall (goal: none over 100 ms):\n");

  test::ScriptedPeer silent({.neverRead = true});
  bench.emulator.control({{"account", "demo"}, {"port", std::to_string(silent.port())}});
  bench.measure(
      "a start, the server never answering", [&] { bench.press(); }, 3s);
  bench.measure(
      "its stop", [&] { bench.press(); }, 1s);
  bench::runUntil([&] { return bench.idle(); }, 30s);

  bench.emulator.control({{"account", "demo"}, {"port", std::to_string(bench.icecast.sourcePort())}});
  if (!bench.goOnAir()) return 1;
  bench.measure(
      "a plug-in launched on the air that never returns", [&] { bench.triggerNamed("plug-in stuck"); }, 3s);
  bench.measure(
      "\"-none-\" quitting it", [&] { bench.trigger(38000); }, 2s);
  if (test::readFile(Logger::getLogPath()).find("does not return from its call") == std::string::npos) {
    std::fprintf(stderr, "bench_event_loop: the plug-in's call was not left running:\n%s\n",
                 test::readFile(Logger::getLogPath()).c_str());
    return 1;
  }
  bench.measure(
      "the stop", [&] { bench.press(); }, 1s);

  // Last: a service that gave no answer is left alone for a while.
  bench.emulator.control({{"delay", "30000"}});
  bench.measure(
      "Switch to Hostplay, the service holding its answers", [&] { bench.trigger(32808); }, 3s);
  bench.measure(
      "Restart Server behind it", [&] { bench.trigger(32806); }, 2s);
  bench.emulator.control({{"delay", "0"}});
  bench::runUntil([&] { return bench.idle(); }, 60s);
  return bench.withinGoal ? 0 : 1;
}
