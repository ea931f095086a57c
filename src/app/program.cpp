#include "app/program.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/configure.h"
#include "app/dsp_choice.h"
#include "app/headless_studio.h"
#include "app/probe.h"
#include "app/stop_signals.h"
#include "app/studio_remote.h"
#include "app/working_folder.h"
#include "broadcast/engine_part.h"
#include "broadcast/settings.h"
#include "core/program_values.h"
#include "diag/logger.h"
#include "net/web_service.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/ebur128_meter.h"
#include "platform/lame_encoder.h"
#include "platform/settings_registry.h"
#include "platform/taglib_track_reader.h"

namespace brovana {
namespace {

// Hands the command line to the windows module's runProgram. The module stays loaded until the
// process ends: Qt's libraries keep threads and exit handlers of their own.
int runWindowsModule(int argc, char** argv) {
  const std::string path = shippedWindowsModule();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto entry =
      module ? reinterpret_cast<int (*)(int, char**)>(dlsym(module, "brovana_live_windows")) : nullptr;
  if (!entry) {
    const char* reason = dlerror();
    std::fprintf(
        stderr,
        "brovana-live: cannot open the windows (%s); install the brovana-live package again, or run the "
        "studio with --headless\n",
        reason ? reason : path.c_str());
    return 1;
  }
  return entry(argc, argv);
}

}  // namespace

int runCommandLine(int argc, char** argv, const WindowedStudio* windowed) {
  ParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "brovana-live: %s\n", parsed.error.c_str());
    return 2;
  }
  CommandLine options = parsed.options;
  if (options.help) {
    std::fputs(helpText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s (build %d)\n", kVersionText, kBuildNumber);
    return 0;
  }
  // Every track read from here on learns its format and tags through it.
  static TagLibTrackReader trackReaderOfTheProgram;
  installTrackReader(&trackReaderOfTheProgram);
  if (options.probe) return runProbe(options.probeFiles);
  if (!options.remote.empty())
    return runRemote(options.remote, options.workdir.value_or(defaultWorkingFolder()));
  if (!options.headless && !options.configure && !options.listDsp) {
    // Qt would abort without a display; say what to do instead.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
      std::fprintf(stderr,
                   "brovana-live: no display to open the windows on; run the studio with --headless\n");
      return 1;
    }
    if (!windowed) return runWindowsModule(argc, argv);
  }
  // A run of the studio, with or without windows, takes the stop signals on a thread of its own;
  // blocked before any thread starts (the windows' too), so that no other thread takes them.
  if (!options.configure && !options.listDsp) blockStopSignals();

  // The playlists and the recording are named from where the command was given; the program
  // works in its own folder.
  for (std::optional<std::string>* path : {&options.playlist, &options.outFile, &options.fallback}) {
    std::error_code ec;
    if (*path && !(*path)->empty()) *path = std::filesystem::absolute(**path, ec).lexically_normal().string();
  }
  // A plug-in not found there is looked for in the working folder's Plugins/.
  if (std::error_code ec; options.dsp && std::filesystem::exists(options.dsp->path, ec))
    options.dsp->path = std::filesystem::absolute(options.dsp->path, ec).lexically_normal().string();
  std::string error;
  const std::string folder = options.workdir.value_or(defaultWorkingFolder());
  if (!enterWorkingFolder(folder, shippedFilesFolder(), error, shippedPluginsFolder())) {
    std::fprintf(stderr, "brovana-live: %s\n", error.c_str());
    return 1;
  }
  if (options.listDsp) return runListDsp();
  SettingsRegistry registry;
  // Before anything is read, written or logged: the folders may be another studio's.
  StudioLock lock;
  if (!lock.take(folder, registry.path(), error)) {
    std::fprintf(stderr, "brovana-live: %s\n", error.c_str());
    if (windowed && !options.headless && !options.configure) windowed->refuse(argc, argv, error);
    return 1;
  }
  std::string webHost = options.host.value_or(kMainWebHost);
  programValues().setRegistry(&registry);
  programValues().setWebHost(webHost);
  CurlHttpClient http;

  // The settings store goes with main(); the program-wide values must not outlive their use of it.
  struct Detach {
    ~Detach() { programValues().setRegistry(nullptr); }
  } detach;

  if (options.configure) {
    HeadlessPrompts prompts;
    return runConfigure(options, webHost, registry, http, prompts, registry.path());
  }
  LameEncoderLibrary codec;
  PlatformDecoderLibrary decoders;
  MixingSettings mixing = loadMixing(registry);
  if (options.normalize) mixing.loudness.mode = *options.normalize;
  if (options.crossfade) mixing.crossfadeSeconds = *options.crossfade;
  if (options.normalize || options.crossfade) saveMixing(registry, mixing);
  // The studio reads the guard's values from the store, as the windows change them there.
  if (options.silenceLevel || options.silenceTime || options.fallback) {
    GuardSettings guard = loadGuard(registry);
    guard.silenceLevelDb = options.silenceLevel.value_or(guard.silenceLevelDb);
    guard.silenceSeconds = options.silenceTime.value_or(guard.silenceSeconds);
    guard.fallback = options.fallback.value_or(guard.fallback);
    saveGuard(registry, guard);
  }
  EbuR128Meter meter;
  LoudnessLibrary loudness(meter, defaultLoudnessCacheFile());
  auto makeEngine = [&](ConversionStage& stage, const EngineWiring& wiring, Prompts& prompts) {
    auto engine = std::make_unique<EnginePart>(stage, decoders, prompts, wiring);
    engine->encoder().setNoStats(options.noStats);
    engine->encoder().setLoudness(&loudness, mixing.loudness, mixing.crossfadeSeconds);
    return engine;
  };
  HeadlessSetup setup{registry, http, codec, makeEngine, webHost};
  if (options.headless) return runHeadless(options, setup);
  return windowed->run(argc, argv, options, setup);
}

}  // namespace brovana
