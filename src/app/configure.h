#pragma once
// brovana-live --configure: the setup wizard's work without windows. The account is checked with
// the service the way the wizard checks it (the member name and password, then the account mode,
// switched to live when it is in Hostplay mode), and only then are the station settings stored.

#include <string>

#include "app/command_line.h"

namespace brovana {

class HttpClient;
class Prompts;
class Registry;

// 0 when the settings were stored; 1, with the reason told through `prompts`, when not.
// `where` names the settings store in the closing line.
int runConfigure(const CommandLine& options, const std::string& webHost, Registry& registry, HttpClient& http,
                 Prompts& prompts, const std::string& where);

}  // namespace brovana
