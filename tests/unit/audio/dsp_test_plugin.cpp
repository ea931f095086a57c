// Small DSP plug-ins for the host's tests, one per TEST_PLUGIN_KIND: each negates the samples;
// "slow" takes 1.2 s over a block, "bad_count" hands back more frames than the buffer has room
// for, "no_header" lacks the header function. Each keeps a journal of the calls it got.

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "winamp_dsp.h"

namespace {

constexpr std::string_view kKind = TEST_PLUGIN_KIND;
std::string journal;
char pluginName[] = "Test plug-in " TEST_PLUGIN_KIND;
char moduleName[] = "Negate";

void config(winampDSPModule*) {
  journal += "config ";
}

int init(winampDSPModule*) {
  journal += "init ";
  return 0;
}

int modify(winampDSPModule*, short int* samples, int frames, int, int channels, int) {
  journal += "modify ";
  if (kKind == "slow") {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    journal += "done ";
  }
  for (int i = 0; i < frames * channels; ++i) samples[i] = static_cast<short int>(-samples[i]);
  return kKind == "bad_count" ? 2 * frames + 1 : frames;
}

void quit(winampDSPModule*) {
  journal += "quit";
}

winampDSPModule module = {moduleName, nullptr, nullptr, config, init, modify, quit, nullptr};

winampDSPModule* getModule(int which) {
  return which == 0 ? &module : nullptr;
}

winampDSPHeader header = {WINAMP_DSP_HEADER_VERSION, pluginName, getModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* testPluginJournal() {
  return journal.c_str();
}

extern "C" __attribute__((visibility("default"))) winampDSPModule* testPluginModule() {
  return &module;
}

extern "C" __attribute__((visibility("default"))) winampDSPHeader* TEST_PLUGIN_HEADER_FUNCTION() {
  return &header;
}
