#include "audio/dsp_host.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

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

DspHost::DspHost(std::unique_ptr<DspLoader> loader, Prompts& prompts, void* parentWindow, Clock clock)
    : loader_(std::move(loader)),
      prompts_(prompts),
      parentWindow_(parentWindow),
      clock_(clock ? std::move(clock) : Clock(steadyMs)),
      worker_(&DspHost::workerThread, this) {}

DspHost::~DspHost() {
  quitPlugin();
  {
    std::lock_guard lock(jobMutex_);
    stopWorker_ = true;
  }
  jobChanged_.notify_all();
  worker_.join();
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
  {
    std::lock_guard lock(jobMutex_);
    activeName_ = name.empty() ? path : name;
  }
  {
    std::lock_guard lock(pluginMutex_);
    module_ = module;
    library_ = std::move(library);
  }
  reportedSlow_ = false;
  reportedCount_ = false;
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
  // Unconditional: a call in progress ends before the module quits and its library goes.
  std::lock_guard lock(pluginMutex_);
  active_ = false;
  if (!module_) return;
  module_->Quit(module_);
  module_ = nullptr;
  library_.reset();
}

int DspHost::processSamples(uint8_t* samples, int frames, int bitsPerSample, int channels, int sampleRate) {
  if (!active_.load() || bitsPerSample != 16 || channels <= 0 || frames <= 0) return frames;
  if (clock_() - launchedAt_.load() <= kGraceMs) return frames;
  return processOnWorker(samples, frames, channels, sampleRate);
}

size_t DspHost::guardSamples(size_t room) {
  return std::max(room, kMinGuardSamples);
}

int DspHost::processOnWorker(uint8_t* samples, int frames, int channels, int sampleRate) {
  size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels);
  size_t room = 2 * count;
  std::unique_lock lock(jobMutex_);
  // Still inside a call the source gave up on: the module cannot take another one.
  if (job_ != Job::Idle) return frames;
  if (work_.size() < room + guardSamples(room)) work_.resize(room + guardSamples(room));
  std::memcpy(work_.data(), samples, count * 2);
  std::fill_n(work_.begin() + static_cast<std::ptrdiff_t>(room), guardSamples(room), kGuardValue);
  jobFrames_ = frames;
  jobChannels_ = channels;
  jobRate_ = sampleRate;
  job_ = Job::Waiting;
  jobChanged_.notify_all();
  if (!jobChanged_.wait_for(lock, std::chrono::milliseconds(kCallLimitMs),
                            [this] { return job_ == Job::Done; })) {
    abandoned_ = true;
    reportOnce(reportedSlow_,
               formatText("WADsp: %s took longer than %d ms over a block; blocks pass through unprocessed "
                          "while it runs\n",
                          activeName_.c_str(), static_cast<int>(kCallLimitMs)));
    return frames;
  }
  job_ = Job::Idle;
  int result = jobResult_;
  if (jobOverran_) return frames;
  if (result < 0 || result > 2 * frames) {
    reportOnce(reportedCount_, formatText("WADsp: %s returned %d frames for a block of %d; such blocks pass "
                                          "through unprocessed\n",
                                          activeName_.c_str(), result, frames));
    return frames;
  }
  std::memcpy(samples, work_.data(), static_cast<size_t>(result) * static_cast<size_t>(channels) * 2);
  return result;
}

void DspHost::reportOnce(std::atomic<bool>& reported, const std::string& line) {
  if (!reported.exchange(true)) Logger::log("%s", line.c_str());
}

void DspHost::workerThread() {
  std::unique_lock lock(jobMutex_);
  for (;;) {
    jobChanged_.wait(lock, [this] { return stopWorker_ || job_ == Job::Waiting; });
    if (stopWorker_) return;
    job_ = Job::Running;
    lock.unlock();
    bool overran = false;
    int result = runModule(overran);
    if (overran) reportOverrun();
    lock.lock();
    jobResult_ = result;
    jobOverran_ = overran;
    job_ = abandoned_ ? Job::Idle : Job::Done;
    abandoned_ = false;
    jobChanged_.notify_all();
  }
}

int DspHost::runModule(bool& overran) {
  std::lock_guard lock(pluginMutex_);
  // Quit in the meantime: the block stays as it was.
  if (!module_ || !active_.load()) return jobFrames_;
  int result = module_->ModifySamples(module_, work_.data(), jobFrames_, 16, jobChannels_, jobRate_);
  // A module that wrote into the slack has broken its contract once and may do worse next time:
  // it gets no more blocks until it is launched again.
  size_t room = 2 * static_cast<size_t>(jobFrames_) * static_cast<size_t>(jobChannels_);
  auto guard = work_.begin() + static_cast<std::ptrdiff_t>(room);
  overran = std::any_of(guard, guard + static_cast<std::ptrdiff_t>(guardSamples(room)),
                        [](int16_t sample) { return sample != kGuardValue; });
  if (overran) {
    active_ = false;
    checked_ = kMenuNone;
  }
  return result;
}

void DspHost::reportOverrun() {
  std::string name;
  {
    std::lock_guard lock(jobMutex_);
    name = activeName_;
  }
  prompts_.warning(
      formatText("The DSP plug-in %s wrote past the end of its buffer; the broadcast goes on without it.",
                 name.c_str()));
}

}  // namespace brovana
