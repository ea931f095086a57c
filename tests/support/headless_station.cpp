#include "support/headless_station.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace brovana::test {

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

HeadlessStation::HeadlessStation(std::string pace) : pace(std::move(pace)) {}

bool HeadlessStation::prepare(std::string& problem) {
  if (!icecast.start()) return problem = icecast.errorLog(), false;
  if (!emulator.ready()) return problem = emulator.logFile(), false;
  // Two tagged tracks of a tone, 12 seconds each.
  std::filesystem::create_directories(scratch.file("music"));
  for (int hz : {440, 880}) {
    std::string mp3 = scratch.file("music/tone" + std::to_string(hz) + ".mp3");
    std::string command = "sox -q -n -r 44100 -c 2 -t wav - synth 12 sine " + std::to_string(hz) +
                          " vol 0.5 2>/dev/null | lame --quiet -b 128 --tt 'Tone " + std::to_string(hz) +
                          "' --ta Test - '" + mp3 + "'";
    if (std::system(command.c_str()) != 0) return problem = command, false;
  }
  scratch.write("music/tones.m3u",
                "#EXTM3U\r\n#EXTINF:12,Test - Tone 440\r\ntone440.mp3\r\n#EXTINF:12,Test - Tone "
                "880\r\ntone880.mp3\r\n");
  return true;
}

std::unique_ptr<ChildProcess> HeadlessStation::studio(std::vector<std::string> args, const std::string& log) {
  std::vector<std::string> argv = {builtProgram("brovana-live"), "-host", emulator.webHost(), "--workdir",
                                   work()};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<ChildProcess>(
      argv, scratch.file(log),
      std::vector<std::string>{"XDG_CONFIG_HOME=" + scratch.file("config"), "BROVANA_PLAYBACK=off",
                               "BROVANA_PACE=" + pace});
}

int HeadlessStation::runToEnd(std::vector<std::string> args, const std::string& log) {
  return studio(std::move(args), log)->wait(std::chrono::seconds(60));
}

bool HeadlessStation::onTheAir(ChildProcess& process, const std::string& log) {
  auto said = [&] { return scratch.read(log).find("on the air through") != std::string::npos; };
  waitUntil([&] { return said() || !process.running(); }, std::chrono::seconds(30));
  return said();
}

bool HeadlessStation::serverOn() {
  auto account = emulator.account("demo");
  return account && account->serverOn;
}

}  // namespace brovana::test
