#pragma once
// The peers of a whole studio run: Icecast, and the service emulator with one live account,
// "demo" (password "demo-secret"), whose broadcast server is that Icecast; and the built
// brovana-live run for it with a scratch folder's settings and working folder. Start Icecast
// (icecast.start()) before the studio logs in.

#include <memory>
#include <string>
#include <vector>

#include "support/icecast_server.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"

namespace brovana::test {

struct DemoStation {
  TempFolder scratch;
  IcecastServer icecast{{.sourcePassword = "demo-secret"}};
  ServiceEmulator emulator{{.accounts = {"demo:demo-secret:LI"}, .broadcastPort = icecast.sourcePort()}};

  std::string work() const { return scratch.file("work"); }
  std::string settingsPath() const { return scratch.file("config/brovana-live/settings.ini"); }
  // The only account's record ("server" ON or OFF).
  bool serverOn() const { return emulator.records("accounts").at(0)["server"] == "ON"; }

  // brovana-live with these arguments and environment ("NAME=value"); its output goes to `log`
  // in the scratch folder.
  std::unique_ptr<ChildProcess> studio(std::vector<std::string> args, const std::string& log = "run.log",
                                       std::vector<std::string> env = {}) const {
    args.insert(args.begin(),
                {builtProgram("brovana-live"), "-host", emulator.webHost(), "--workdir", work()});
    env.push_back("XDG_CONFIG_HOME=" + scratch.file("config"));
    env.push_back("XDG_CACHE_HOME=" + scratch.file("cache"));
    return std::make_unique<ChildProcess>(args, scratch.file(log), env);
  }
  // Stores the station for the member "demo" (and any further settings); true once stored.
  bool configure(std::vector<std::string> settings = {}) const {
    settings.insert(settings.begin(), {"--configure", "--member", "demo", "--password", "demo-secret"});
    return studio(settings)->wait(std::chrono::seconds(60)) == 0;
  }
};

}  // namespace brovana::test
