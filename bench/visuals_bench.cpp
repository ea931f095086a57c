// What the windows and the visuals cost on the air: the windowed studio (main and playlist
// windows open, on Qt's offscreen platform) broadcasting a playlist at 56 kbit/s in real time to
// Icecast, with every visual off, then with all four on; and the headless studio doing the same.
// Each figure: CPU as a share of one core, how often the GUI thread woke, and peak resident
// memory. Goals: visuals off <= 0.8 %, all on <= 1.5 %, peak RSS <= 60 MiB; headless <= 0.6 %
// and <= 24 MiB.
//
//   bench_visuals      (about two minutes; Icecast and the service emulator are started)

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "app/main_window.h"
#include "support/child_process.h"
#include "ui/dialog_driver.h"
#include "windowed_station.h"

using namespace brovana;
using namespace std::chrono_literals;

namespace {

constexpr auto kWindow = 20s;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A figure of /proc/PID/status (or of one of its threads), such as "VmHWM:".
double statusFigure(const std::string& file, const char* name) {
  std::string status = test::readFile(file);
  size_t at = status.find(name);
  return at == std::string::npos ? 0 : std::stod(status.substr(at + std::strlen(name)));
}

double peakMiB(pid_t pid) {
  return statusFigure("/proc/" + std::to_string(pid) + "/status", "VmHWM:") / 1024;
}

// The GUI thread's sleeps that ended, so far.
double guiWakes() {
  const std::string self = std::to_string(getpid());
  return statusFigure("/proc/" + self + "/task/" + self + "/status", "voluntary_ctxt_switches:");
}

// The event loop as the studio runs it: asleep until something is due.
void runFor(std::chrono::milliseconds span) {
  QEventLoop loop;
  QTimer::singleShot(span, &loop, &QEventLoop::quit);
  loop.exec();
}

void windowed(const char* what, MainWindow& window, bool visualsOn) {
  // Not a QObject class of its own: found by name.
  auto& visuals = dynamic_cast<VisualsWidget&>(*window.findChild<QWidget*>(QStringLiteral("visuals")));
  for (int display : {1, 2, 3, 4}) visuals.setDisplay(display, visualsOn);
  runFor(3s);
  const double cpu = cpuSeconds(), wakes = guiWakes();
  runFor(kWindow);
  const double seconds = std::chrono::duration<double>(kWindow).count();
  std::printf("%-36s %6.2f %% of one core, GUI thread woke %5.0f times/s, peak RSS %5.1f MiB\n", what,
              100 * (cpuSeconds() - cpu) / seconds, (guiWakes() - wakes) / seconds, peakMiB(getpid()));
}

void headless(test::DemoStation& station) {
  auto studio = station.studio({"--headless", "--playlist", station.scratch.file("music/list.m3u")},
                               "headless.log", {"BROVANA_PLAYBACK=off"});
  std::this_thread::sleep_for(3s);  // its log-in and first track
  const double start = studio->cpuSeconds();
  std::this_thread::sleep_for(kWindow);
  std::printf("%-36s %6.2f %% of one core, peak RSS %5.1f MiB\n", "headless",
              100 * (studio->cpuSeconds() - start) / std::chrono::duration<double>(kWindow).count(),
              peakMiB(studio->pid()));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  bench::WindowedStation station("bench_visuals");
  if (!station.setUp(120)) return 1;
  station.scratch.write("music/list.m3u", "tone.mp3\n");
  {
    std::optional<test::DialogDriver> dialogs(std::in_place);  // every question No, every box OK
    if (!station.open() || !station.goOnAir()) return 1;
    dialogs.reset();  // its look every 50 ms is no part of the studio
    windowed("windows, every visual off", station.window(), false);
    windowed("windows, all four visuals on", station.window(), true);
    station.window().shutDown(true);
    station.studio.reset();
  }
  headless(station);
  return 0;
}
