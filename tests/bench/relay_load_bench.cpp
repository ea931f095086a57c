// bench_relay_load [--listeners N] [--seconds S]
//
// Many listeners through an Icecast relay, on loopback. The headless studio streams the tone
// playlist at real time and 56 kbit/s to a master Icecast; a second Icecast relays the master's
// mount (<relay>, as the README shows) and N listeners fetch it from the relay. Two phases of S
// seconds each: quiet (no listener) and loaded (N listeners). For each phase it prints the
// studio's processor time; for the loaded one, the bit rate each listener received (minimum,
// median, maximum) and how many got at least 95% of the stream's bit rate.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/headless_station.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kStreamKbps = 56;

// User and system processor seconds of a process so far.
double cpuSeconds(pid_t pid) {
  std::string stat = test::fileText("/proc/" + std::to_string(pid) + "/stat");
  size_t end = stat.rfind(')');
  if (end == std::string::npos) return 0;
  // After the name: state, then fields 4 to 13; utime and stime are fields 14 and 15.
  unsigned long long utime = 0, stime = 0;
  std::sscanf(stat.c_str() + end + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
              &stime);
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Phase {
  double seconds;
  double cpu;
  double percent() const { return 100 * cpu / seconds; }
};

// Lets `seconds` pass and measures the studio's share of one processor meanwhile.
Phase measure(pid_t studio, int seconds) {
  auto start = Clock::now();
  double before = cpuSeconds(studio);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return {std::chrono::duration<double>(Clock::now() - start).count(), cpuSeconds(studio) - before};
}

int fail(const std::string& why) {
  std::fprintf(stderr, "bench_relay_load: %s\n", why.c_str());
  return 1;
}

int run(int listeners, int seconds) {
  test::HeadlessStation station("1");
  std::string problem;
  if (!station.prepare(problem)) return fail(problem);
  test::IcecastServer relay{{.sourcePassword = "unused",
                             .mount = "/live",
                             .clients = listeners + 10,
                             .relayOf = station.icecast.port()}};
  if (!relay.start()) return fail(relay.errorLog());
  if (station.runToEnd(
          {"--configure", "--member", "demo", "--password", "demo-secret", "--output-bitrate", "56000"},
          "configure.log") != 0)
    return fail(station.scratch.read("configure.log"));
  auto studio = station.studio({"--headless", "--playlist", station.playlist()}, "run.log");
  if (!station.onTheAir(*studio, "run.log")) return fail(station.scratch.read("run.log"));
  if (!test::listenWhenServed(relay)) return fail("the relay does not serve the mount: " + relay.errorLog());

  Phase quiet = measure(studio->pid(), seconds);

  std::vector<std::unique_ptr<test::StreamListener>> crowd;
  for (int i = 0; i < listeners; ++i)
    crowd.push_back(std::make_unique<test::StreamListener>(relay.port(), "/live"));
  int connected = 0;
  for (auto& listener : crowd)
    connected += listener->waitForHead() && listener->head().find(" 200 ") != std::string::npos;
  // The burst each listener gets on arrival is not part of the steady rate.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::vector<size_t> before;
  for (auto& listener : crowd) before.push_back(listener->body().size());
  Phase loaded = measure(studio->pid(), seconds);
  std::vector<double> kbps;
  for (size_t i = 0; i < crowd.size(); ++i)
    kbps.push_back(static_cast<double>(crowd[i]->body().size() - before[i]) * 8 / 1000 / loaded.seconds);
  crowd.clear();
  studio->stop(SIGTERM, std::chrono::seconds(30));

  std::sort(kbps.begin(), kbps.end());
  long full = std::count_if(kbps.begin(), kbps.end(), [](double rate) { return rate >= 0.95 * kStreamKbps; });
  std::printf("relay load on loopback, stream %.0f kbit/s, %d s per phase\n", kStreamKbps, seconds);
  std::printf("studio processor, no listener:     %.2f%% (%.2f s)\n", quiet.percent(), quiet.cpu);
  std::printf("studio processor, %d listeners:   %.2f%% (%.2f s)\n", listeners, loaded.percent(), loaded.cpu);
  std::printf("listeners connected: %d of %d\n", connected, listeners);
  if (!kbps.empty())
    std::printf("received kbit/s: min %.1f, median %.1f, max %.1f; at least 95%% of the stream: %ld of %zu\n",
                kbps.front(), kbps[kbps.size() / 2], kbps.back(), full, kbps.size());
  return connected == listeners && full == listeners ? 0 : 1;
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  int listeners = 200, seconds = 30;
  bool understood = argc % 2 == 1;
  for (int i = 1; understood && i + 1 < argc; i += 2) {
    std::string option = argv[i];
    int value = std::atoi(argv[i + 1]);
    if (option == "--listeners")
      listeners = value;
    else if (option == "--seconds")
      seconds = value;
    else
      understood = false;
  }
  if (!understood || listeners <= 0 || seconds <= 0) {
    std::fprintf(stderr, "usage: bench_relay_load [--listeners N] [--seconds S]\n");
    return 2;
  }
  return brovana::run(listeners, seconds);
}
