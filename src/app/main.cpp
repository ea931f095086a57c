// brovana-live: the studio.

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/probe.h"
#include "app/working_folder.h"
#include "broadcast/program_values.h"
#include "diag/logger.h"
#include "net/web_service.h"
#include "platform/settings_registry.h"

int main(int argc, char** argv) {
  using namespace brovana;
  ParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "brovana-live: %s\n", parsed.error.c_str());
    return 2;
  }
  const CommandLine& options = parsed.options;
  if (options.help) {
    std::fputs(helpText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s (build %d)\n", kVersionText, kBuildNumber);
    return 0;
  }
  if (options.probe) return runProbe(options.probeFiles);

  std::string error;
  if (!enterWorkingFolder(options.workdir.value_or(defaultWorkingFolder()), shippedFilesFolder(), error)) {
    std::fprintf(stderr, "brovana-live: %s\n", error.c_str());
    return 1;
  }
  SettingsRegistry registry;
  programValues().setRegistry(&registry);
  programValues().setWebHost(options.host.value_or(kMainWebHost));

  std::fprintf(stderr,
               "brovana-live: this build has the foundation only (settings, log, working folder);\n"
               "the headless studio and the windows come next. Run scripts/test to check it.\n");
  return 1;
}
