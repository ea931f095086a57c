#pragma once
// The Supervisor's parts and the holders of the stored settings, for tests. Each part writes what
// it was asked into one Journal shared by all ("engine.start 2 tracks at 0, 56000 bps"), so that
// a test checks the order of the calls as well as the calls. What the Supervisor branches on (a
// capture that fails to start, a mixer that refuses a line, a missing CD, a cancelled wizard) is
// set by the test.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "broadcast/studio_parts.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "playlist/playlist.h"
#include "support/fake_views.h"

namespace brovana::test {

class MemoryVisualModes : public Visualisation {
 public:
  bool displayOn(int display) const override {
    return locked([&] { return on_.count(display) && on_.at(display); });
  }
  void setDisplay(int display, bool on) override {
    locked([&] { on_[display] = on; });
  }
  bool wasSet(int display) const {
    return locked([&] { return on_.count(display) != 0; });
  }
  VisualFeed* feed() override { return nullptr; }

 private:
  template <typename F>
  auto locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }
  mutable std::mutex mutex_;
  std::map<int, bool> on_;
};

class MemoryPlayOrder : public PlayOrder {
 public:
  bool random() const override { return random_; }
  void setRandom(bool on) override { random_ = on; }
  int priority() const override { return priority_; }
  void setPriority(int priority) override { priority_ = priority; }

 private:
  std::atomic<bool> random_{false};
  std::atomic<int> priority_{0};
};

class MemoryVolumes : public VolumeWindow {
 public:
  explicit MemoryVolumes(int initial = 32000) : values_{initial, initial, initial} {}
  int volume(Line line) const override { return values_[line]; }
  void setVolume(Line line, int value) override { values_[line] = value; }
  void show() override {}
  void setSkin(const std::string&) override {}

 private:
  int values_[3];
};

// The program-wide values as a fresh process has them, reading from `registry`.
inline void resetProgramValues(Registry* registry) {
  ProgramValues& values = programValues();
  values.setRegistry(registry);
  values.setMp3path(std::nullopt);
  values.setPlaylist(std::nullopt);
  values.setSkin(std::nullopt);
  values.setSessionID(-1);
}

// Every part writes "<its name>.<call> ..." and, when it goes, "destroy <its name>".
class Part {
 public:
  Part(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}
  virtual ~Part() { journal_.add("destroy", name_); }

 protected:
  template <typename... Args>
  void note(const std::string& call, const Args&... args) {
    journal_.add(name_ + "." + call, args...);
  }
  Journal& journal_;
  std::string name_;
};

class FakeQualityWindow final : public QualityWindow, public QualityGauge, Part {
 public:
  explicit FakeQualityWindow(Journal& j) : Part(j, "gauge") {}
  void show() override {}
  void setSkin(const std::string&) override {}
  QualityGauge* gauge() override { return this; }
  void setCpuQuality(float ratio) override { note("cpu", ratio); }
  void setNetworkQuality(int actual, int expected) override { note("network", actual, expected); }
};

class FakePlaylistWindow final : public PlaylistWindowControl, Part {
 public:
  FakePlaylistWindow(Journal& j, Prompts& prompts, std::function<bool(Playlist&, const std::string&)> loader)
      : Part(j, "playlistWindow"), playlist_(prompts), loader_(std::move(loader)) {}
  Playlist* playlist() override { return &playlist_; }
  int currentIndex() const override { return 0; }
  bool loadPlaylist(const std::string& path) override { return loader_ && loader_(playlist_, path); }
  void addDroppedFiles(const std::vector<std::string>& files) override {
    for (const std::string& f : files) playlist_.addFile(f, AddMode::Append);
  }
  bool unsavedNewPlaylist() const override { return false; }
  void show() override { note("show"); }
  void setSkin(const std::string&) override {}

 private:
  Playlist playlist_;
  std::function<bool(Playlist&, const std::string&)> loader_;
};

class FakeStage final : public ConversionStage, Part {
 public:
  explicit FakeStage(Journal& j) : Part(j, "stage") {}
  void setVisual(Visualisation*) override {}
  void startConvertThread() override {}
};

class FakeEngine final : public PlaylistEngine, Part {
 public:
  FakeEngine(Journal& j, const EngineWiring& wiring) : Part(j, "engine"), reports(wiring.reports) {}
  void start(Playlist& playlist, int outputBitrate, int startIndex) override {
    note("start", playlist.count(), "tracks at", startIndex, outputBitrate);
    playing_ = true;
  }
  void stopPlaying(bool final) override {
    if (final)
      note("stop", "final");
    else
      note("stop");
    playing_ = false;
  }
  bool isPlaying() const override { return playing_; }
  std::optional<std::string> currentTitle() const override { return "Blue in Green"; }
  bool continuousLoop() const override { return true; }
  void setContinuousLoop(bool) override {}
  void setVisual(Visualisation*) override {}
  bool random() const override { return order_.random(); }
  void setRandom(bool on) override { order_.setRandom(on); }
  int priority() const override { return order_.priority(); }
  void setPriority(int priority) override { order_.setPriority(priority); }
  EngineReports* const reports;

 private:
  std::atomic<bool> playing_{false};
  MemoryPlayOrder order_;
};

class FakeCapture final : public Capture, Part {
 public:
  FakeCapture(Journal& j, bool startWorks) : Part(j, "capture"), startWorks_(startWorks) {}
  bool startInput(int lineSpeed) override {
    note("start", lineSpeed);
    return open_ = startWorks_;
  }
  void closeLineIn() override {
    note("close");
    open_ = false;
  }
  bool isOpen() const override { return open_; }
  void setVoiceover(bool on) override { note("voiceover", on); }
  void trackChanged() override { ++trackChanges; }
  void setVisual(Visualisation*) override {}
  std::atomic<int> trackChanges{0};

 private:
  bool startWorks_;
  std::atomic<bool> open_{false};
};

class FakeMixer final : public MixerControl, Part {
 public:
  FakeMixer(Journal& j, std::string name, bool selectWorks) : Part(j, std::move(name)), works_(selectWorks) {}
  bool selectSource(int code) override {
    note("select", code);
    return works_;
  }
  void setSourceVolume(int code, int volume) override { note("volume", code, volume); }
  void setWaveOutVolume(int volume) override { waveOut_ = volume; }
  int waveOutVolume() const override { return waveOut_; }

 private:
  bool works_;
  int waveOut_ = 0;
};

class FakeInfoDialog final : public BroadcastInfoDialog, Part {
 public:
  explicit FakeInfoDialog(Journal& j) : Part(j, "info") { note("make"); }
  void refresh(bool show) override { note("refresh", show); }
  bool isOpen() const override { return true; }
  void setSkin(const std::string&) override {}
};

class FakePanel final : public VoiceoverPanel, Part {
 public:
  explicit FakePanel(Journal& j) : Part(j, "panel") {}
  void setSkin(const std::string&) override {}
};

// `onLabel` runs once, at the next label set.
class FakeStatusPart final : public StatusWindow, Part {
 public:
  FakeStatusPart(Journal& j, std::function<void()>& onLabel) : Part(j, "status"), onLabel_(onLabel) {}
  void setLabel(int id, const std::string& text) override {
    journal_.add("label", id, text);
    if (auto once = std::exchange(onLabel_, nullptr)) once();
  }
  void setTitle(const std::string&) override {}
  void show() override { note("show"); }
  void setSkin(const std::string&) override {}

 private:
  std::function<void()>& onLabel_;
};

class FakeParts final : public StudioParts {
 public:
  FakeParts(Journal& journal, Prompts& prompts) : journal_(journal), prompts_(prompts) {}

  int mhz = 0;
  bool cd = false, captureStarts = true, mixerSelects = true, codecFails = false;
  std::vector<bool> wizardResults;  // in order; true once used up
  std::function<void(LiveConnect&)> wizardFills;
  std::function<bool(Playlist&, const std::string&)> playlistLoader;
  std::function<void()> onStatusLabel;
  FakeEngine* engine = nullptr;
  FakeCapture* capture = nullptr;
  FakePlaylistWindow* playlistWindow = nullptr;

  int cpuMHz() override { return mhz; }
  bool cdPresent() override { return cd; }
  bool runSetupWizard(LiveConnect& connection, bool firstRun) override {
    journal_.add(firstRun ? "wizard first" : "wizard");
    bool result = wizardResults.empty() || wizardResults.front();
    if (!wizardResults.empty()) wizardResults.erase(wizardResults.begin());
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
    return made(playlistWindow, std::make_unique<FakePlaylistWindow>(journal_, prompts_, playlistLoader));
  }
  std::unique_ptr<ConversionStage> makeConversionStage(LiveConnect&, StatusDisplay&,
                                                       ProgramExit& exit) override {
    if (codecFails) exit.endProgram(0);
    return codecFails ? nullptr : std::make_unique<FakeStage>(journal_);
  }
  std::unique_ptr<PlaylistEngine> makePlaylistEngine(const EngineWiring& wiring) override {
    journal_.add("make engine");
    return made(engine, std::make_unique<FakeEngine>(journal_, wiring));
  }
  std::unique_ptr<PluginHost> makePluginHost() override { return nullptr; }
  std::unique_ptr<MixerControl> makeMixer(MixerDestination destination) override {
    return std::make_unique<FakeMixer>(
        journal_, destination == MixerDestination::Recording ? "inMixer" : "outMixer", mixerSelects);
  }
  std::unique_ptr<VolumeWindow> makeVolumeWindow(int initial) override {
    return std::make_unique<MemoryVolumes>(initial);
  }
  std::unique_ptr<Capture> makeCapture(const CaptureWiring&) override {
    return made(capture, std::make_unique<FakeCapture>(journal_, captureStarts));
  }
  std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(LiveConnect&, Supervisor&) override {
    return std::make_unique<FakeInfoDialog>(journal_);
  }
  std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(LiveConnect&) override { return nullptr; }
  std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Supervisor&) override {
    return std::make_unique<FakePanel>(journal_);
  }

 private:
  template <typename T>
  static std::unique_ptr<T> made(T*& seen, std::unique_ptr<T> part) {
    seen = part.get();
    return part;
  }
  Journal& journal_;
  Prompts& prompts_;
};

}  // namespace brovana::test
