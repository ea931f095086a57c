// Small DSP plug-ins for the host's tests, one per TEST_PLUGIN_KIND. Each negates the samples;
// "stuck" does not return from a block until dsp_test_release() is called, "bad_count" hands back more frames
// than the buffer has room for, "overrun" writes four frames past that room on its first block, "no_header"
// exports its header function under another name, "null_header" has it return none, "init_fails" does not
// start.

#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>

#include "winamp_dsp.h"

namespace {

constexpr std::string_view kKind = TEST_PLUGIN_KIND;
char pluginName[] = "Test plug-in " TEST_PLUGIN_KIND;
char moduleName[] = "Negate";

// Nothing to destroy at the program's exit, where a call may still be waiting.
std::atomic<bool> released{false};

int modify(winampDSPModule*, short int* samples, int frames, int, int channels, int) {
  if (kKind == "stuck") {
    while (!released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (int i = 0; i < frames * channels; ++i) samples[i] = static_cast<short int>(-samples[i]);
  static int calls = 0;
  if (kKind == "overrun" && calls++ == 0)
    for (int i = 0; i < 4 * channels; ++i) samples[2 * frames * channels + i] = 0x7fff;
  return kKind == "bad_count" ? 2 * frames + 1 : frames;
}

void noOp(winampDSPModule*) {}
constexpr auto init = [](winampDSPModule*) { return kKind == "init_fails" ? 3 : 0; };
winampDSPModule module = {moduleName, nullptr, nullptr, noOp, init, modify, noOp, nullptr};
constexpr auto getModule = [](int which) { return which == 0 ? &module : nullptr; };
winampDSPHeader header = {WINAMP_DSP_HEADER_VERSION, pluginName, getModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* TEST_PLUGIN_HEADER_FUNCTION() {
  return kKind == "null_header" ? nullptr : &header;
}

extern "C" __attribute__((visibility("default"))) void dsp_test_release() {
  released = true;
}
