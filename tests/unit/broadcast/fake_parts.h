#pragma once
// The Supervisor's parts for tests: each records what it was asked, into one journal shared by
// all, so that a test can check the order of the calls as well as the calls. Results that the
// Supervisor branches on (a capture that fails to start, a mixer that refuses a line, a missing
// CD, a cancelled wizard) are set by the test. Thread-safe: the engine's events come from other
// threads in the concurrency tests.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "broadcast/studio_parts.h"
#include "broadcast/supervisor.h"
#include "playlist/playlist.h"
#include "settings_holders.h"

namespace brovana::test {

class Journal {
 public:
  void add(const std::string& entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  // The entries that begin with `prefix`, in order.
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& e : entries())
      if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
  }
  size_t count(const std::string& entry) const {
    size_t n = 0;
    for (const std::string& e : entries()) n += e == entry;
    return n;
  }
  // The position of the first entry equal to `entry`, or -1.
  int position(const std::string& entry) const {
    auto all = entries();
    for (size_t i = 0; i < all.size(); ++i)
      if (all[i] == entry) return static_cast<int>(i);
    return -1;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// The windows' common part: the journal they write to.
class FakeWindow {
 public:
  explicit FakeWindow(Journal& journal) : journal_(journal) {}

 protected:
  Journal& journal_;
};

class FakeStatusPart final : public StatusWindow, FakeWindow {
 public:
  FakeStatusPart(Journal& j, const std::function<void(int)>& onLabel)
      : FakeWindow(j), onLabel_(onLabel) {}
  void setLabel(int id, const std::string& text) override {
    journal_.add("status.label " + std::to_string(id) + " " + text);
    if (onLabel_) onLabel_(id);
  }
  void setTitle(const std::string&) override {}
  void show() override { journal_.add("status.show"); }
  void setSkin(const std::string&) override {}

 private:
  const std::function<void(int)>& onLabel_;
};

class FakeQualityWindow final : public QualityWindow, FakeWindow {
 public:
  explicit FakeQualityWindow(Journal& j) : FakeWindow(j) {}
  ~FakeQualityWindow() override { journal_.add("destroy gauge"); }
  void show() override {}
  QualityGauge* gauge() override { return nullptr; }
  void setSkin(const std::string&) override {}
};

class FakeVolumeWindow final : public VolumeWindow, FakeWindow {
 public:
  FakeVolumeWindow(Journal& j, int initial) : FakeWindow(j), volumes_(initial) {}
  int volume(Line line) const override { return volumes_.volume(line); }
  void setVolume(Line line, int value) override { volumes_.setVolume(line, value); }
  void show() override {}
  void setSkin(const std::string&) override {}

 private:
  MemoryVolumes volumes_;
};

class FakePlaylistWindow final : public PlaylistWindowControl, FakeWindow {
 public:
  FakePlaylistWindow(Journal& j, Prompts& prompts, std::function<bool(Playlist&, const std::string&)> loader)
      : FakeWindow(j), playlist_(prompts), loader_(std::move(loader)) {
    j.add("make playlistWindow");
  }
  ~FakePlaylistWindow() override { journal_.add("destroy playlistWindow"); }
  Playlist* playlist() override { return &playlist_; }
  int currentIndex() const override { return 0; }
  bool loadPlaylist(const std::string& path) override {
    journal_.add("playlistWindow.load " + path);
    return loader_ && loader_(playlist_, path);
  }
  void addDroppedFiles(const std::vector<std::string>& files) override {
    for (const std::string& f : files) {
      journal_.add("playlistWindow.drop " + f);
      playlist_.addFile(f, AddMode::Append);
    }
  }
  void addFiles(const std::vector<std::string>& paths) override { addDroppedFiles(paths); }
  bool unsavedNewPlaylist() const override { return false; }
  void show() override { journal_.add("playlistWindow.show"); }
  void setSkin(const std::string&) override {}

 private:
  Playlist playlist_;
  std::function<bool(Playlist&, const std::string&)> loader_;
};

class FakeStage final : public ConversionStage {
 public:
  explicit FakeStage(Journal& j) : journal_(j) {}
  ~FakeStage() override { journal_.add("destroy stage"); }
  void setVisual(Visualisation*) override {}
  void setDspHost(DspHost*) override {}
  void startConvertThread() override {}
  void setMusicGain(float gain) override { journal_.add("stage.musicGain " + std::to_string(gain)); }

 private:
  Journal& journal_;
};

class FakeEngine final : public PlaylistEngine {
 public:
  FakeEngine(Journal& j, const EngineWiring& wiring) : journal_(j), wiring_(wiring) { j.add("make engine"); }
  ~FakeEngine() override { journal_.add("destroy engine"); }

  void start(Playlist& playlist, LiveConnect&, int outputBitrate, int startIndex) override {
    journal_.add("engine.start " + std::to_string(playlist.count()) + " tracks at " +
                 std::to_string(startIndex) + ", " + std::to_string(outputBitrate) + " bps");
    playing_ = true;
  }
  void stopPlaying(bool final) override {
    journal_.add(final ? "engine.stop final" : "engine.stop");
    playing_ = false;
  }
  bool isPlaying() const override { return playing_.load(); }
  std::optional<std::string> currentTitle() const override {
    std::lock_guard lock(mutex_);
    return title_;
  }
  bool continuousLoop() const override { return true; }
  void setContinuousLoop(bool) override {}
  int currentIndex() const override { return playing_ ? 0 : -1; }
  void setCurrentIndex(int index) override { journal_.add("engine.jump " + std::to_string(index)); }
  void setVisual(Visualisation*) override {}
  void detachQualityGauge() override { journal_.add("engine.detachGauge"); }
  bool random() const override { return order_.random(); }
  void setRandom(bool on) override { order_.setRandom(on); }
  int priority() const override { return order_.priority(); }
  void setPriority(int priority) override { order_.setPriority(priority); }

  void setTitle(std::optional<std::string> title) {
    std::lock_guard lock(mutex_);
    title_ = std::move(title);
  }
  const EngineWiring& wiring() const { return wiring_; }

 private:
  Journal& journal_;
  EngineWiring wiring_;
  std::atomic<bool> playing_{false};
  mutable std::mutex mutex_;
  std::optional<std::string> title_;
  MemoryPlayOrder order_;
};

class FakeCapture final : public Capture {
 public:
  FakeCapture(Journal& j, bool startWorks) : journal_(j), startWorks_(startWorks) {}
  ~FakeCapture() override { journal_.add("destroy capture"); }
  bool startInput(int lineSpeed) override {
    journal_.add("capture.start " + std::to_string(lineSpeed));
    open_ = startWorks_;
    return startWorks_;
  }
  void closeLineIn() override {
    journal_.add("capture.close");
    open_ = false;
  }
  bool isOpen() const override { return open_.load(); }
  void setVoiceover(bool on) override { journal_.add(on ? "capture.voiceover on" : "capture.voiceover off"); }
  void trackChanged() override { ++trackChanges; }
  void setVisual(Visualisation*) override {}

  std::atomic<int> trackChanges{0};

 private:
  Journal& journal_;
  bool startWorks_;
  std::atomic<bool> open_{false};
};

class FakeMixer final : public MixerControl {
 public:
  FakeMixer(Journal& j, std::string name, bool selectWorks)
      : journal_(j), name_(std::move(name)), works_(selectWorks) {}
  ~FakeMixer() override { journal_.add("destroy " + name_); }
  bool selectSource(int code) override {
    journal_.add(name_ + ".select " + std::to_string(code));
    return works_;
  }
  void setSourceVolume(int code, int volume) override {
    journal_.add(name_ + ".volume " + std::to_string(code) + " " + std::to_string(volume));
  }
  void setWaveOutVolume(int volume) override {
    journal_.add(name_ + ".waveOut " + std::to_string(volume));
    waveOut_ = volume;
  }
  int waveOutVolume() const override { return waveOut_; }

 private:
  Journal& journal_;
  std::string name_;
  bool works_;
  int waveOut_ = 0;
};

class FakeInfoDialog final : public BroadcastInfoDialog, FakeWindow {
 public:
  explicit FakeInfoDialog(Journal& j) : FakeWindow(j) { j.add("make info"); }
  void refresh(bool show) override { journal_.add(show ? "info.refresh show" : "info.refresh"); }
  bool isOpen() const override { return true; }
  void setSkin(const std::string&) override {}
};

class FakePanel final : public VoiceoverPanel, FakeWindow {
 public:
  explicit FakePanel(Journal& j) : FakeWindow(j) { j.add("make panel"); }
  ~FakePanel() override { journal_.add("destroy panel"); }
  void setSkin(const std::string&) override {}
};

class FakeVisualisation final : public Visualisation {
 public:
  bool displayOn(int display) const override { return modes_.displayOn(display); }
  void setDisplay(int display, bool on) override { modes_.setDisplay(display, on); }
  VisualFeed* feed() override { return nullptr; }

 private:
  MemoryVisualModes modes_;
};

class FakeParts final : public StudioParts {
 public:
  FakeParts(Journal& journal, Prompts& prompts) : journal_(journal), prompts_(prompts) {}

  // What the test decides.
  int mhz = 0;
  bool cd = false;
  bool captureStarts = true;
  bool mixerSelects = true;
  bool codecFails = false;
  std::vector<bool> wizardResults;  // in order; true once used up
  // Fills the wizard's connection the way a member would.
  std::function<void(LiveConnect&)> wizardFills;
  std::function<bool(Playlist&, const std::string&)> playlistLoader;
  // Runs on the thread that sets a label of the status window.
  std::function<void(int)> onStatusLabel;

  FakeEngine* engine = nullptr;
  FakeCapture* capture = nullptr;
  FakePlaylistWindow* playlistWindow = nullptr;

  int cpuMHz() override { return mhz; }
  bool cdPresent() override {
    journal_.add("cdPresent");
    return cd;
  }
  bool runSetupWizard(LiveConnect& connection, bool firstRun) override {
    journal_.add(firstRun ? "wizard first" : "wizard");
    bool result = true;
    if (!wizardResults.empty()) {
      result = wizardResults.front();
      wizardResults.erase(wizardResults.begin());
    }
    if (result && wizardFills) wizardFills(connection);
    return result;
  }
  std::unique_ptr<StatusWindow> makeStatusWindow() override {
    return std::make_unique<FakeStatusPart>(journal_, onStatusLabel);
  }
  std::unique_ptr<QualityWindow> makeQualityWindow() override {
    return std::make_unique<FakeQualityWindow>(journal_);
  }
  std::unique_ptr<PlaylistWindowControl> makePlaylistWindow(Supervisor&) override {
    auto window = std::make_unique<FakePlaylistWindow>(journal_, prompts_, playlistLoader);
    playlistWindow = window.get();
    return window;
  }
  std::unique_ptr<ConversionStage> makeConversionStage(LiveConnect&, StatusDisplay&, ProgramExit& exit) override {
    if (codecFails) {
      exit.endProgram(0);
      return nullptr;
    }
    return std::make_unique<FakeStage>(journal_);
  }
  std::unique_ptr<PlaylistEngine> makePlaylistEngine(ConversionStage&, const EngineWiring& wiring) override {
    auto made = std::make_unique<FakeEngine>(journal_, wiring);
    engine = made.get();
    return made;
  }
  std::unique_ptr<PluginHost> makePluginHost() override { return nullptr; }
  std::unique_ptr<MixerControl> makeMixer(MixerDestination destination) override {
    return std::make_unique<FakeMixer>(
        journal_, destination == MixerDestination::Recording ? "inMixer" : "outMixer", mixerSelects);
  }
  std::unique_ptr<VolumeWindow> makeVolumeWindow(int initial) override {
    return std::make_unique<FakeVolumeWindow>(journal_, initial);
  }
  std::unique_ptr<Capture> makeCapture(ConversionStage&, const CaptureWiring&) override {
    auto made = std::make_unique<FakeCapture>(journal_, captureStarts);
    capture = made.get();
    return made;
  }
  std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(LiveConnect&, Supervisor&) override {
    return std::make_unique<FakeInfoDialog>(journal_);
  }
  std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(LiveConnect&) override { return nullptr; }
  std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Supervisor&) override {
    return std::make_unique<FakePanel>(journal_);
  }

 private:
  Journal& journal_;
  Prompts& prompts_;
};

}  // namespace brovana::test
