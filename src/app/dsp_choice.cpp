#include "app/dsp_choice.h"

#include <cstdio>
#include <filesystem>

#include "audio/dsp_host.h"
#include "platform/dl_loader.h"

namespace fs = std::filesystem;

namespace brovana {

int runListDsp() {
  std::vector<std::string> files = DspHost::pluginFiles("Plugins");
  std::error_code ec;
  if (files.empty()) {
    std::printf("No DSP plug-ins in %s/Plugins\n", fs::current_path(ec).c_str());
    return 0;
  }
  DlLoader loader;
  for (const std::string& file : files) {
    std::string name = fs::path(file).filename().string();
    std::string error;
    std::optional<DspDescription> described = DspHost::describe(loader, file, error);
    if (!described) {
      std::printf("%s: not a DSP plug-in (%s)\n", name.c_str(), error.c_str());
      continue;
    }
    std::printf("%s: %s\n", name.c_str(), described->plugin.c_str());
    for (size_t k = 0; k < described->modules.size(); ++k)
      std::printf("  --dsp %s:%zu  %s\n", name.c_str(), k, described->modules[k].c_str());
  }
  return 0;
}

std::string dspPath(const std::string& file) {
  std::error_code ec;
  if (fs::exists(file, ec)) return file;
  fs::path shipped = fs::path("Plugins") / file;
  return fs::exists(shipped, ec) ? shipped.string() : file;
}

}  // namespace brovana
