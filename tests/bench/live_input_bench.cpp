// live_input_bench: how late a live sound reaches a listener, and what live input costs.
//
// A private PulseAudio server with a null sink stands in for the sound card, Icecast and the
// service emulator for the peers. The built studio broadcasts the "Mixer" source headless (the
// sink's monitor) at 56 kbit/s; a listener reads the mount. Into the silence paplay plays short
// clicks; the latency of each is the time from the moment paplay plays it to the moment the
// listener has received the MP3 bytes that decode to it (paplay's own start-up is counted in,
// some tens of milliseconds). The studio's CPU time over the run, per second of live input, is
// the cost. Prints one line per click and the two figures.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/mpg123_decoder.h"
#include "support/demo_station.h"
#include "support/pulse_server.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kClicks = 5;

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Seconds of CPU the process has used (user and system).
double cpuSeconds(pid_t pid) {
  std::string stat = fileText("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stoll(field);  // utime, stime
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Loud samples in the decoded stream: the clicks heard so far.
int clicksIn(const std::string& mp3Path) {
  Mpg123Decoder decoder;
  if (decoder.createInput(mp3Path) != kDecoderOk || decoder.openInput() != kDecoderOk) return 0;
  int clicks = 0;
  long quiet = 1'000'000;  // samples since the last loud one
  for (DecodeStatus status = DecodeStatus::Block; status == DecodeStatus::Block;) {
    status = decoder.decode();
    for (int16_t sample : decoder.block()) {
      if (std::abs(sample) > 8000 && quiet > decoder.format().sampleRate) ++clicks;
      quiet = std::abs(sample) > 8000 ? 0 : quiet + 1;
    }
  }
  return clicks;
}

int run() {
  test::TempFolder scratch;
  test::PulseServer pulse(scratch.path());
  test::DemoStation station;
  test::IcecastServer& icecast = station.icecast;
  if (!pulse.ready() || !icecast.start()) {
    std::fprintf(stderr, "live_input_bench: no sound server or no Icecast\n");
    return 1;
  }
  std::vector<std::string> studio = {test::builtProgram("brovana-live"), "-host", station.emulator.webHost(),
                                     "--workdir", scratch.file("work")};
  std::vector<std::string> env = {"XDG_CONFIG_HOME=" + scratch.file("config")};
  std::vector<std::string> configure = studio;
  configure.insert(configure.end(), {"--configure", "--member", "demo", "--password", "demo-secret"});
  if (test::ChildProcess(configure, scratch.file("configure.log"), env).wait(30s) != 0) return 1;
  if (std::system(("sox -q -n -r 44100 -c 2 -b 16 '" + scratch.file("click.wav") +
                   "' synth 0.01 sine 1000 vol 0.9 pad 1 0")
                      .c_str()) != 0)
    return 1;

  studio.insert(studio.end(), {"--headless", "--source", "mix"});
  test::ChildProcess live(studio, scratch.file("studio.log"), env);
  auto listener = test::listenWhenServed(icecast);
  if (!listener) {
    std::fprintf(stderr, "live_input_bench: not on the air\n%s",
                 fileText(scratch.file("studio.log")).c_str());
    return 1;
  }
  std::this_thread::sleep_for(2s);
  Clock::time_point start = Clock::now();
  double cpuStart = cpuSeconds(live.pid());

  std::vector<double> latencies;
  for (int click = 1; click <= kClicks; ++click) {
    // The click sounds one second (the padding) after paplay starts.
    Clock::time_point sounded = Clock::now() + 1s;
    test::ChildProcess play({"paplay", scratch.file("click.wav")}, scratch.file("paplay.log"));
    while (Clock::now() - sounded < 20s) {
      scratch.write("heard.mp3", listener->body());
      if (clicksIn(scratch.file("heard.mp3")) >= click) break;
      std::this_thread::sleep_for(20ms);
    }
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - sounded).count();
    latencies.push_back(ms);
    std::printf("click %d: %.0f ms\n", click, ms);
    std::this_thread::sleep_for(3s);
  }
  double wall = std::chrono::duration<double>(Clock::now() - start).count();
  double cpu = cpuSeconds(live.pid()) - cpuStart;
  live.stop();

  std::sort(latencies.begin(), latencies.end());
  std::printf("capture-to-listener latency: median %.0f ms (min %.0f, max %.0f) at 56 kbit/s\n",
              latencies[latencies.size() / 2], latencies.front(), latencies.back());
  std::printf("CPU: %.1f ms per second of live input (%.1f %% of one core) over %.0f s\n", 1000 * cpu / wall,
              100 * cpu / wall, wall);
  return 0;
}

}  // namespace
}  // namespace brovana

int main() {
  return brovana::run();
}
