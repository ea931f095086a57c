// The studio's own DSP plug-in, leveller.so. Module 0 levels and limits, module 1 only limits.
// No settings dialog: the settings are the ones a low-bit-rate station wants.

#include <array>
#include <optional>

#include "leveller.h"
#include "winamp_dsp.h"

namespace {

char pluginName[] = "Brovana Leveller 1.0";
char levellerName[] = "Leveller: steady loudness, -1 dBFS true-peak ceiling";
char limiterName[] = "Limiter: -1 dBFS true-peak ceiling only";

const leveller::Settings settings[] = {leveller::Settings{}, leveller::Settings{.level = false}};
std::array<std::optional<leveller::Leveller>, 2> states;

void config(winampDSPModule*) {}
int init(winampDSPModule* module);
int modifySamples(winampDSPModule* module, short int* samples, int frames, int bits, int channels, int rate);
void quit(winampDSPModule* module);

std::array<winampDSPModule, 2> modules = {{
    {levellerName, nullptr, nullptr, config, init, modifySamples, quit, nullptr},
    {limiterName, nullptr, nullptr, config, init, modifySamples, quit, nullptr},
}};

size_t indexOf(const winampDSPModule* module) {
  return static_cast<size_t>(module - modules.data());
}

int init(winampDSPModule* module) {
  states[indexOf(module)].emplace(settings[indexOf(module)]);
  return 0;
}

int modifySamples(winampDSPModule* module, short int* samples, int frames, int bits, int channels, int rate) {
  std::optional<leveller::Leveller>& state = states[indexOf(module)];
  if (state && bits == 16) state->process(samples, frames, channels, rate);
  return frames;
}

void quit(winampDSPModule* module) {
  states[indexOf(module)].reset();
}

winampDSPModule* getModule(int which) {
  return which >= 0 && which < static_cast<int>(modules.size()) ? &modules[which] : nullptr;
}

winampDSPHeader header = {WINAMP_DSP_HEADER_VERSION, pluginName, getModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2(void) {
  return &header;
}
