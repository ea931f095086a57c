// live_input_bench: how late live sound reaches a listener, and what live input costs. The built
// studio broadcasts the "Mixer" source headless (a private PulseAudio null sink's monitor) at 56
// kbit/s to Icecast; paplay plays clicks into the sink. Latency: from the click (paplay's own
// start-up included) until a listener holds the MP3 bytes that decode to it. Cost: the studio's
// CPU time per second of live input.

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/mpg123_decoder.h"
#include "support/demo_station.h"
#include "support/pulse_server.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Clicks in the decoded stream: loud samples after at least half a second of quiet.
int clicksHeard(const std::string& mp3Path) {
  Mpg123Decoder decoder;
  if (decoder.createInput(mp3Path) != kDecoderOk || decoder.openInput() != kDecoderOk) return 0;
  int clicks = 0;
  long quiet = 1'000'000;
  for (DecodeStatus status = DecodeStatus::Block; status == DecodeStatus::Block;) {
    status = decoder.decode();
    for (int16_t sample : decoder.block()) {
      bool loud = std::abs(sample) > 8000;
      clicks += loud && quiet > decoder.format().sampleRate;
      quiet = loud ? 0 : quiet + 1;
    }
  }
  return clicks;
}

int run() {
  test::DemoStation station;
  const test::TempFolder& scratch = station.scratch;
  test::PulseServer pulse(scratch.path());
  // A second of silence, then 10 ms of 1 kHz.
  const std::string click = scratch.file("click.wav"),
                    sox = "sox -q -n -r 44100 -c 2 '" + click + "' synth 0.01 sine 1000 vol 0.9 pad 1 0";
  if (!pulse.ready() || !station.icecast.start() || !station.configure() || std::system(sox.c_str()) != 0)
    return std::fprintf(stderr, "no sound server, Icecast, station or click\n"), 1;
  auto live = station.studio({"--headless", "--source", "mix"}, "studio.log");
  auto listener = test::listenWhenServed(station.icecast);
  if (!listener) return std::fprintf(stderr, "not on the air:\n%s", scratch.read("studio.log").c_str()), 1;

  std::this_thread::sleep_for(2s);
  Clock::time_point start = Clock::now();
  double cpuStart = live->cpuSeconds();
  std::vector<double> latencies;
  for (int clicks = 1; clicks <= 5; ++clicks) {
    Clock::time_point sounded = Clock::now() + 1s;
    test::ChildProcess play({"paplay", click}, scratch.file("paplay.log"));
    do {
      std::this_thread::sleep_for(20ms);
      scratch.write("heard.mp3", listener->body());
    } while (clicksHeard(scratch.file("heard.mp3")) < clicks && Clock::now() - sounded < 20s);
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sounded).count());
    std::printf("click %d: %.0f ms\n", clicks, latencies.back());
    std::this_thread::sleep_for(3s);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  double cpu = live->cpuSeconds() - cpuStart;
  std::sort(latencies.begin(), latencies.end());
  std::printf("capture-to-listener latency: median %.0f ms (min %.0f, max %.0f) at 56 kbit/s\n",
              latencies[latencies.size() / 2], latencies.front(), latencies.back());
  std::printf("CPU: %.1f ms per second of live input (%.1f %% of one core) over %.0f s\n",
              1000 * cpu / seconds, 100 * cpu / seconds, seconds);
  return 0;
}

}  // namespace
}  // namespace brovana

int main() {
  return brovana::run();
}
