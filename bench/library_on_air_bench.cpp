// library_on_air_bench: a library of 2,000 tracks (10 s FLAC tones, hard links of one file) whose
// loudness is measured in the background while the headless studio broadcasts it in real time.
// The studio's threads are timed while the measuring goes on and once it is done, the measuring
// thread (at idle priority) apart from the rest; the run's summary counts the stream's dropouts.

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <thread>

#include "support/demo_station.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
constexpr int kTracks = 2000;
constexpr auto kWindow = 30s;

struct ThreadTimes {
  double broadcast = 0;  // every thread of normal priority
  double measuring = 0;  // the idle-priority ones
};

// From /proc: user and system seconds of each thread, by its scheduling policy.
ThreadTimes threadTimes(pid_t pid) {
  ThreadTimes times;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::string stat = test::readFile(task.path().string() + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::vector<std::string> field{std::istream_iterator<std::string>(fields), {}};
    // After the name: state is field 3, utime 14, stime 15, policy 41 (counting from 1).
    if (field.size() < 39) continue;
    const double seconds =
        (std::stod(field[11]) + std::stod(field[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
    (std::stoi(field[38]) == SCHED_IDLE ? times.measuring : times.broadcast) += seconds;
  }
  return times;
}

void measure(const char* what, pid_t pid) {
  const ThreadTimes before = threadTimes(pid);
  std::this_thread::sleep_for(kWindow);
  const ThreadTimes after = threadTimes(pid);
  const double window = std::chrono::duration<double>(kWindow).count();
  std::printf("%-34s broadcast threads %5.2f %% of one core, measuring %6.2f %%\n", what,
              100 * (after.broadcast - before.broadcast) / window,
              100 * (after.measuring - before.measuring) / window);
  std::fflush(stdout);
}

int run() {
  test::DemoStation station;
  const test::TempFolder& scratch = station.scratch;
  std::filesystem::create_directories(scratch.file("music"));
  const std::string tone = scratch.file("tone.flac");
  if (!station.icecast.start() || !station.configure() ||
      !test::makeLibraryTone(tone, {.frequency = 440, .seconds = 10, .title = "Tone", .volume = 0.3}))
    return std::fprintf(stderr, "no Icecast, station or track\n"), 1;
  std::string list;
  for (int n = 0; n < kTracks; ++n) {
    const std::string name = "music/" + std::to_string(n) + ".flac";
    std::filesystem::create_hard_link(tone, scratch.file(name));
    list += name + "\n";
  }
  scratch.write("list.m3u", list);

  auto studio = station.studio({"--headless", "--playlist", scratch.file("list.m3u"), "--normalize", "track"},
                               "run.log", {"BROVANA_PLAYBACK=off"});
  std::this_thread::sleep_for(3s);
  measure("while 2,000 tracks are measured", studio->pid());
  // Measuring is over when the idle threads stop using the processor.
  for (double last = -1, now = 0; now != last; std::this_thread::sleep_for(5s))
    last = std::exchange(now, threadTimes(studio->pid()).measuring);
  measure("once they are all measured", studio->pid());
  studio->stop(SIGTERM, 30s);

  int dropouts = -1;
  for (const auto& file : std::filesystem::directory_iterator(station.work())) {
    if (!file.path().filename().string().starts_with("live_log")) continue;
    std::string log = test::readFile(file.path().string());
    size_t at = log.find(" : total number of signal dropouts");
    // "(date time) N : total ..."
    if (at != std::string::npos) dropouts = std::atoi(log.c_str() + log.rfind(')', at) + 1);
  }
  const std::string cache = scratch.read("cache/brovana-live/loudness.cache");
  std::printf("tracks in the loudness cache: %zd of %d; dropouts in the run: %d\n",
              std::count(cache.begin(), cache.end(), '\n') - 1, kTracks, dropouts);
  return 0;
}

}  // namespace
}  // namespace brovana

int main() {
  return brovana::run();
}
