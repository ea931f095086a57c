#pragma once
// The peers of a whole studio run: Icecast, and the service emulator with one live account,
// "demo" (password "demo-secret"), whose broadcast server is that Icecast. Start Icecast
// (icecast.start()) before the studio logs in.

#include "support/icecast_server.h"
#include "support/service_emulator.h"

namespace brovana::test {

struct DemoStation {
  IcecastServer icecast{{.sourcePassword = "demo-secret", .mount = "/live", .burstSize = 0}};
  ServiceEmulator emulator{{.accounts = {"demo:demo-secret:LI"},
                            .accountsFile = "",
                            .broadcastHost = "127.0.0.1",
                            .broadcastPort = icecast.sourcePort(),
                            .extraArgs = {}}};
};

}  // namespace brovana::test
