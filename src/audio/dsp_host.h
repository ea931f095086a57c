#pragma once
// The DSP plug-in host: lists the plug-ins in the working folder's Plugins/, runs the one the
// member chooses, and passes every block of the broadcast through it.
//
// A plug-in is a shared object exporting winampDSPGetHeader2 (plugins/include/winamp_dsp.h).
// Launching one quits the previous one, runs the module's Config and then its Init, and the
// blocks reach it once the grace time after the launch is over, so that nothing disturbs a
// module that has just initialised.
//
// Threads: loadPlugins, launch, launchFile and quitPlugin come from one controlling thread (the
// studio's command worker, or the headless front end); processSamples from the source thread.
// Each launched module processes samples on a thread of its own, so that a plug-in that hangs
// holds up only itself: the source waits for it at most kCallLimitMs, then its block passes
// through as it was. Quitting waits for a call under way no longer than that either: a module
// whose call does not come back is left to its thread, which quits it and unloads its library
// if the call ever returns (never under its running code), and the next plug-in gets a thread of
// its own.
//
// Behind the room a module may fill (twice the frames of its block) lies as much slack again,
// filled with a guard value: a module that writes past its room spoils only the slack, its
// block passes through as it was, and it is bypassed until it is launched again.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/conversion_ports.h"
#include "audio/dsp_loader.h"

struct winampDSPModule;

namespace brovana {

class Prompts;

// One plug-in of the menu.
struct DspPluginSlot {
  std::string path;
  std::string description;  // the plug-in's own, or its file name when it gives none
  int menuId = -1;
};

// What a plug-in says about itself.
struct DspDescription {
  std::string plugin;
  std::vector<std::string> modules;
};

class DspHost final : public SampleProcessor {
 public:
  static constexpr int kMenuNone = 38000;  // "-none-"; plug-in k has kMenuNone + k
  static constexpr int kMaxPlugins = 99;
  static constexpr int64_t kGraceMs = 1000;
  static constexpr int64_t kCallLimitMs = 500;
  static constexpr size_t kMaxDescription = 255;
  static constexpr int kMaxModules = 16;            // listed per plug-in
  static constexpr size_t kMinGuardSamples = 4096;  // the least slack behind a block's room

  using Clock = std::function<int64_t()>;  // milliseconds

  // `parentWindow` is handed to the modules as their parent window; null without windows.
  DspHost(std::unique_ptr<DspLoader> loader, Prompts& prompts, void* parentWindow, Clock clock = {});
  ~DspHost() override;
  DspHost(const DspHost&) = delete;
  DspHost& operator=(const DspHost&) = delete;

  // The shared objects (*.so) of `folder` by name, the first kMaxPlugins of them.
  static std::vector<std::string> pluginFiles(const std::string& folder);
  // The menu: the plug-ins of `folder`, from kMenuNone + 1.
  void loadPlugins(const std::string& folder = "Plugins");
  const std::vector<DspPluginSlot>& plugins() const { return slots_; }

  // Launches the plug-in of that menu id (kMenuNone: none); returns the id that is checked now,
  // kMenuNone when there was no such plug-in or it was refused.
  int launch(int menuId);
  // kMenuNone too once the running plug-in was bypassed for writing past its buffer.
  int checkedId() const { return checked_.load(); }
  // Launches module `module` of the library at `path`; false, after telling the member why, when
  // it is refused (not loadable, no header function or no header from it, no such module, a
  // function missing, a module that does not start).
  bool launchFile(const std::string& path, int module = 0);
  void quitPlugin();

  // The description and module names of a library; none, with the reason, when it is no plug-in.
  static std::optional<DspDescription> describe(DspLoader& loader, const std::string& path,
                                                std::string& error);

  // SampleProcessor: on the source thread.
  int processSamples(uint8_t* samples, int frames, int bitsPerSample, int channels, int sampleRate) override;

 private:
  enum class Job { Idle, Waiting, Running, Done };
  struct Runner;

  bool refuse(const std::string& path, const std::string& reason);
  static size_t guardSamples(size_t room);
  // The launched module's thread; it owns its share of the runner.
  static void runModule(std::shared_ptr<Runner> runner);
  // Hands the block to the runner; the frames it holds afterwards, or the block as it was.
  int processOnRunner(Runner& runner, uint8_t* samples, int frames, int channels, int sampleRate);
  void bypass(const std::string& name);
  void reportOnce(std::atomic<bool>& reported, const std::string& line);

  std::unique_ptr<DspLoader> loader_;
  Prompts& prompts_;
  void* const parentWindow_;
  Clock clock_;

  std::vector<DspPluginSlot> slots_;  // controlling thread
  std::atomic<int> checked_{kMenuNone};

  // The launched module: set and taken by the controlling thread, looked up by the source.
  std::mutex runnerMutex_;
  std::shared_ptr<Runner> runner_;
  // Published after the launch, for the source's quick look.
  std::atomic<bool> active_{false};
  std::atomic<int64_t> launchedAt_{0};
  std::atomic<bool> reportedSlow_{false};
  std::atomic<bool> reportedCount_{false};
  std::atomic<bool> reportedOverrun_{false};
};

}  // namespace brovana
