// headless_bench: the headless studio on the air, three runs. Each run broadcasts a playlist at
// 56 kbit/s in real time to Icecast (the service emulator answers the log-in) and reports CPU as
// a share of one core, peak resident memory, and where the resident memory sits (the largest
// mappings of /proc/PID/smaps). Goals: <= 0.6 % of one core and <= 24 MiB.
//
//   bench_headless      (about a minute and a half; Icecast and the service emulator are started)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>

#include "support/demo_station.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
constexpr auto kWindow = 20s;

// Resident KiB per mapped file (anonymous mappings under their smaps name or "[anon]").
void largestMappings(pid_t pid) {
  std::istringstream smaps(test::readFile("/proc/" + std::to_string(pid) + "/smaps"));
  std::map<std::string, long> resident;
  std::string line, name;
  while (std::getline(smaps, line)) {
    if (line.rfind("Rss:", 0) == 0) {
      resident[name] += std::stol(line.substr(4));
    } else if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
               line.find(':') > line.find(' ')) {
      std::istringstream fields(line);
      std::string skip;
      for (int i = 0; i < 5; ++i) fields >> skip;
      std::getline(fields >> std::ws, name);
      if (name.empty()) name = "[anon]";
      name = name.substr(name.rfind('/') + 1);
    }
  }
  std::vector<std::pair<long, std::string>> sorted;
  for (const auto& [file, kib] : resident) sorted.emplace_back(kib, file);
  std::sort(sorted.rbegin(), sorted.rend());
  for (size_t i = 0; i < sorted.size() && i < 12; ++i)
    std::printf("    %6ld KiB  %s\n", sorted[i].first, sorted[i].second.c_str());
}

// The threads' share of one core over the window; each busy thread printed when `print`.
using Times = test::ChildProcess::ThreadTimes;
double threadsOver(const std::map<std::string, Times>& before, const std::map<std::string, Times>& after,
                   bool print) {
  const double window = std::chrono::duration<double>(kWindow).count();
  double total = 0;
  for (const auto& [thread, figure] : after) {
    auto was = before.find(thread);
    Times start = was == before.end() ? Times() : was->second;
    total += (figure.seconds - start.seconds) / window;
    if (print && figure.seconds - start.seconds > 1e-4)
      std::printf("    thread %-16s %-8s %6.3f %% of one core, %5.1f wake-ups/s\n", figure.name.c_str(),
                  thread.c_str(), 100 * (figure.seconds - start.seconds) / window,
                  (figure.wakes - start.wakes) / window);
  }
  return 100 * total;
}

int run() {
  test::DemoStation station;
  const test::TempFolder& scratch = station.scratch;
  if (!station.icecast.start() || !station.configure() ||
      !test::makeTone(scratch.file("tone.mp3"), {.frequency = 440, .seconds = 120, .title = "Tone"}))
    return std::fprintf(stderr, "no Icecast, station or track\n"), 1;
  scratch.write("list.m3u", "tone.mp3\n");
  for (int round = 1; round <= 3; ++round) {
    auto studio = station.studio({"--headless", "--playlist", scratch.file("list.m3u")},
                                 "run" + std::to_string(round) + ".log", {"BROVANA_PLAYBACK=off"});
    std::this_thread::sleep_for(3s);  // its log-in and first track
    const double start = studio->cpuSeconds();
    const auto threadsBefore = studio->threadTimes();
    std::this_thread::sleep_for(kWindow);
    const auto threadsAfter = studio->threadTimes();
    const double cpu = (studio->cpuSeconds() - start) / std::chrono::duration<double>(kWindow).count();
    std::printf("run %d: %5.2f %% of one core (its threads: %6.3f %%), peak RSS %5.1f MiB\n", round,
                100 * cpu, threadsOver(threadsBefore, threadsAfter, false), studio->peakMiB());
    if (round == 1) {
      largestMappings(studio->pid());
      threadsOver(threadsBefore, threadsAfter, true);
    }
    studio->stop();
  }
  return 0;
}

}  // namespace
}  // namespace brovana

int main() {
  return brovana::run();
}
