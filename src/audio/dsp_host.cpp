#include "audio/dsp_host.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/prompts.h"
#include "core/text.h"
#include "diag/logger.h"
#include "winamp_dsp.h"

namespace fs = std::filesystem;

namespace brovana {
namespace {

int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A plug-in's text, which may be missing or never end.
std::string boundedText(const char* text) {
  return text ? std::string(text, strnlen(text, DspHost::kMaxDescription)) : std::string();
}

// The library's header; null, with the reason, when it exports no header function or that
// function gives none.
winampDSPHeader* headerOf(DspLibrary& library, std::string& error) {
  auto getHeader = reinterpret_cast<winampDSPGetHeaderType>(library.symbol(WINAMP_DSP_HEADER_SYMBOL));
  if (!getHeader) {
    error = std::string("it has no ") + WINAMP_DSP_HEADER_SYMBOL;
    return nullptr;
  }
  winampDSPHeader* header = getHeader();
  if (!header) error = std::string("its ") + WINAMP_DSP_HEADER_SYMBOL + " returned no header";
  return header;
}

// What fills the slack behind a plug-in's buffer; any other value there was written by the plug-in.
constexpr int16_t kGuardValue = 0x5a5a;

}  // namespace

// One launched module and the thread its calls run on, shared by the host and that thread. The
// hand-over of one block and the end of the module go under `mutex`; the thread owns `work` and
// the call's arguments while the job is Running.
struct DspHost::Runner {
  Runner(winampDSPModule* module, std::unique_ptr<DspLibrary> library, std::string name)
      : module(module), library(std::move(library)), name(std::move(name)) {}

  winampDSPModule* const module;
  std::unique_ptr<DspLibrary> library;  // unloaded by the thread, after the module's Quit
  const std::string name;               // for the log lines

  std::mutex mutex;
  std::condition_variable changed;
  Job job = Job::Idle;
  bool abandoned = false;   // the source stopped waiting; the thread drops the result
  bool overran = false;     // for good: the module wrote past its room once
  bool retire = false;      // the host let go of it: quit once no call is under way
  bool leftBehind = false;  // the host stopped waiting for that
  bool retired = false;
  std::vector<int16_t> work;  // the block, with room for twice its frames, then the guarded slack
  int frames = 0;
  int channels = 0;
  int rate = 0;
  int result = 0;
};

DspHost::DspHost(std::unique_ptr<DspLoader> loader, Prompts& prompts, void* parentWindow, Clock clock)
    : loader_(std::move(loader)),
      prompts_(prompts),
      parentWindow_(parentWindow),
      clock_(clock ? std::move(clock) : Clock(steadyMs)) {}

DspHost::~DspHost() {
  quitPlugin();
}

std::vector<std::string> DspHost::pluginFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::string extension = it->path().extension().string();
    if (it->is_regular_file(ec) && (extension == ".so" || extension == ".SO"))
      files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  if (files.size() > kMaxPlugins) files.resize(kMaxPlugins);
  return files;
}

void DspHost::loadPlugins(const std::string& folder) {
  slots_.clear();
  for (const std::string& file : pluginFiles(folder)) {
    std::string error;
    std::optional<DspDescription> described = describe(*loader_, file, error);
    std::string text =
        described && !described->plugin.empty() ? described->plugin : fs::path(file).filename().string();
    slots_.push_back({file, text, kMenuNone + static_cast<int>(slots_.size()) + 1});
  }
}

std::optional<DspDescription> DspHost::describe(DspLoader& loader, const std::string& path,
                                                std::string& error) {
  std::unique_ptr<DspLibrary> library = loader.load(path, error);
  if (!library) return std::nullopt;
  winampDSPHeader* header = headerOf(*library, error);
  if (!header) return std::nullopt;
  // Copied before the library goes.
  DspDescription description{boundedText(header->description), {}};
  for (int k = 0; header->getModule && k < kMaxModules; ++k) {
    winampDSPModule* module = header->getModule(k);
    if (!module) break;
    description.modules.push_back(boundedText(module->description));
  }
  return description;
}

int DspHost::launch(int menuId) {
  quitPlugin();
  checked_ = kMenuNone;
  auto slot =
      std::find_if(slots_.begin(), slots_.end(), [&](const DspPluginSlot& s) { return s.menuId == menuId; });
  if (slot != slots_.end() && launchFile(slot->path, 0)) checked_ = menuId;
  return checked_;
}

bool DspHost::launchFile(const std::string& path, int moduleIndex) {
  quitPlugin();
  std::string error;
  std::unique_ptr<DspLibrary> library = loader_->load(path, error);
  if (!library) return refuse(path, error);
  winampDSPHeader* header = headerOf(*library, error);
  if (!header) return refuse(path, error);
  if (!header->getModule) return refuse(path, "its header hands out no modules");
  winampDSPModule* module = moduleIndex >= 0 ? header->getModule(moduleIndex) : nullptr;
  if (!module) return refuse(path, formatText("it has no module %d", moduleIndex));
  if (!module->Config || !module->Init || !module->ModifySamples || !module->Quit)
    return refuse(path, formatText("its module %d lacks one of its functions", moduleIndex));

  module->hDllInstance = library->handle();
  module->hwndParent = parentWindow_;
  module->userData = nullptr;
  module->Config(module);
  // A module that did not start has taken nothing to release, so it gets no Quit either.
  if (int failure = module->Init(module); failure != 0)
    return refuse(path, formatText("its module %d did not start (Init returned %d)", moduleIndex, failure));

  std::string name = boundedText(module->description);
  auto runner = std::make_shared<Runner>(module, std::move(library), name.empty() ? path : name);
  std::thread(runModule, runner).detach();
  {
    std::lock_guard lock(runnerMutex_);
    runner_ = std::move(runner);
  }
  reportedSlow_ = false;
  reportedCount_ = false;
  reportedOverrun_ = false;
  launchedAt_ = clock_();
  active_ = true;
  Logger::log("WADsp::launch - %s, module %d: %s\n", path.c_str(), moduleIndex, name.c_str());
  return true;
}

bool DspHost::refuse(const std::string& path, const std::string& reason) {
  prompts_.warning(formatText("The DSP plug-in %s cannot be used: %s.", path.c_str(), reason.c_str()));
  return false;
}

void DspHost::quitPlugin() {
  active_ = false;
  std::shared_ptr<Runner> runner;
  {
    std::lock_guard lock(runnerMutex_);
    runner = std::move(runner_);
  }
  if (!runner) return;
  std::unique_lock lock(runner->mutex);
  runner->retire = true;
  runner->changed.notify_all();
  if (!runner->changed.wait_for(lock, std::chrono::milliseconds(kCallLimitMs),
                                [&] { return runner->retired; })) {
    runner->leftBehind = true;
    Logger::log("WADsp: %s does not return from its call; it quits when the call returns\n",
                runner->name.c_str());
  }
}

int DspHost::processSamples(uint8_t* samples, int frames, int bitsPerSample, int channels, int sampleRate) {
  if (!active_.load() || bitsPerSample != 16 || channels <= 0 || frames <= 0) return frames;
  if (clock_() - launchedAt_.load() <= kGraceMs) return frames;
  std::shared_ptr<Runner> runner;
  {
    std::lock_guard lock(runnerMutex_);
    runner = runner_;
  }
  return runner ? processOnRunner(*runner, samples, frames, channels, sampleRate) : frames;
}

size_t DspHost::guardSamples(size_t room) {
  return std::max(room, kMinGuardSamples);
}

int DspHost::processOnRunner(Runner& runner, uint8_t* samples, int frames, int channels, int sampleRate) {
  size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels);
  size_t room = 2 * count;
  std::unique_lock lock(runner.mutex);
  if (runner.overran) {
    lock.unlock();
    bypass(runner.name);
    return frames;
  }
  // Still inside a call the source gave up on: the module cannot take another one.
  if (runner.job != Job::Idle) return frames;
  if (runner.work.size() < room + guardSamples(room)) runner.work.resize(room + guardSamples(room));
  std::memcpy(runner.work.data(), samples, count * 2);
  std::fill_n(runner.work.begin() + static_cast<std::ptrdiff_t>(room), guardSamples(room), kGuardValue);
  runner.frames = frames;
  runner.channels = channels;
  runner.rate = sampleRate;
  runner.job = Job::Waiting;
  runner.changed.notify_all();
  if (!runner.changed.wait_for(lock, std::chrono::milliseconds(kCallLimitMs),
                               [&] { return runner.job == Job::Done || runner.retire; })) {
    runner.abandoned = true;
    reportOnce(reportedSlow_,
               formatText("WADsp: %s took longer than %d ms over a block; blocks pass through unprocessed "
                          "while it runs\n",
                          runner.name.c_str(), static_cast<int>(kCallLimitMs)));
    return frames;
  }
  // Quit before it took the block.
  if (runner.job != Job::Done) return frames;
  runner.job = Job::Idle;
  int result = runner.result;
  if (runner.overran) {
    lock.unlock();
    bypass(runner.name);
    return frames;
  }
  if (result < 0 || result > 2 * frames) {
    reportOnce(reportedCount_, formatText("WADsp: %s returned %d frames for a block of %d; such blocks pass "
                                          "through unprocessed\n",
                                          runner.name.c_str(), result, frames));
    return frames;
  }
  std::memcpy(samples, runner.work.data(), static_cast<size_t>(result) * static_cast<size_t>(channels) * 2);
  return result;
}

// A module that wrote into the slack has broken its contract once and may do worse next time: it
// gets no more blocks until it is launched again.
void DspHost::bypass(const std::string& name) {
  active_ = false;
  checked_ = kMenuNone;
  if (reportedOverrun_.exchange(true)) return;
  prompts_.warning(
      formatText("The DSP plug-in %s wrote past the end of its buffer; the broadcast goes on without it.",
                 name.c_str()));
}

void DspHost::reportOnce(std::atomic<bool>& reported, const std::string& line) {
  if (!reported.exchange(true)) Logger::log("%s", line.c_str());
}

void DspHost::runModule(std::shared_ptr<Runner> runner) {
  Runner& r = *runner;
  std::unique_lock lock(r.mutex);
  for (;;) {
    r.changed.wait(lock, [&] { return r.retire || r.job == Job::Waiting; });
    if (r.retire) break;
    r.job = Job::Running;
    lock.unlock();
    int result = r.module->ModifySamples(r.module, r.work.data(), r.frames, 16, r.channels, r.rate);
    size_t room = 2 * static_cast<size_t>(r.frames) * static_cast<size_t>(r.channels);
    auto guard = r.work.begin() + static_cast<std::ptrdiff_t>(room);
    bool overran = std::any_of(guard, guard + static_cast<std::ptrdiff_t>(guardSamples(room)),
                               [](int16_t sample) { return sample != kGuardValue; });
    lock.lock();
    r.result = result;
    r.overran = r.overran || overran;
    r.job = r.abandoned ? Job::Idle : Job::Done;
    r.abandoned = false;
    r.changed.notify_all();
  }
  r.job = Job::Idle;
  lock.unlock();
  r.module->Quit(r.module);
  r.library.reset();
  lock.lock();
  if (r.leftBehind) Logger::log("WADsp: %s has returned from its call and quit\n", r.name.c_str());
  r.retired = true;
  r.changed.notify_all();
}

}  // namespace brovana
