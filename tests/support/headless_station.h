#pragma once
// A whole station for the tests and measurements that run the built studio: a scratch folder
// with two tagged tone tracks and their playlist, Icecast 2 as the member's broadcast server, the
// service emulator with the member "demo" pointing at it, and brovana-live --headless run with
// its settings and working folder in the scratch folder, paced by the clock.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/icecast_server.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"

namespace brovana::test {

std::string fileText(const std::string& path);
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

class HeadlessStation {
 public:
  // `pace`: BROVANA_PACE of the studio (4: four times real time, so the tracks play within seconds).
  explicit HeadlessStation(std::string pace = "4");

  // Icecast and the emulator answer and the playlist is written; otherwise false, with the reason.
  bool prepare(std::string& problem);
  std::string playlist() const { return scratch.file("music/tones.m3u"); }

  // brovana-live with the scratch folder's settings and working folder; its output goes to `log`
  // in the scratch folder.
  std::unique_ptr<ChildProcess> studio(std::vector<std::string> args, const std::string& log);
  int runToEnd(std::vector<std::string> args, const std::string& log);
  // Until the studio says it is on the air, or has ended.
  bool onTheAir(ChildProcess& process, const std::string& log);

  std::string work() const { return scratch.file("work"); }
  std::string settings() const { return scratch.read("config/brovana-live/settings.ini"); }
  bool serverOn();

  const std::string pace;
  TempFolder scratch;
  IcecastServer icecast{{.sourcePassword = "demo-secret", .mount = "/live", .burstSize = 0}};
  ServiceEmulator emulator{{.accounts = {"demo:demo-secret:LI"},
                            .accountsFile = "",
                            .broadcastHost = "127.0.0.1",
                            .broadcastPort = icecast.sourcePort(),
                            .extraArgs = {}}};
};

}  // namespace brovana::test
