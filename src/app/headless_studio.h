#pragma once
// brovana-live --headless: the studio without windows, on the air until a stop signal (SIGINT,
// SIGTERM, SIGHUP).

#include <string>

#include "app/command_line.h"
#include "app/headless_front.h"

namespace brovana {

class HttpClient;
class Registry;

struct HeadlessSetup {
  Registry& registry;
  HttpClient& http;
  EncoderLibrary& codec;
  HeadlessParts::EngineMaker makeEngine;
  std::string webHost;
};

// The whole run: start-up, the playlist or live source on the air, the wait for a stop signal, the exit
// sequence. A stop signal is heard from the start on, also while the start-up waits. The exit code:
// 0 after a stop signal (and for the start-up refusals that end the program), 1 when there was
// nothing to put on the air or every track of the playlist failed.
int runHeadless(const CommandLine& options, const HeadlessSetup& setup);

}  // namespace brovana
