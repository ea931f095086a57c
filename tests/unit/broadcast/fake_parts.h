#pragma once
// The studio's parts and the holders of the stored settings, for tests. Each part writes
// "<name>.<call> ..." into one Journal shared with the other fakes, and "destroy <name>" as it
// goes. What the studio branches on (a codec that fails, a cancelled wizard) is set by the test.

#include <atomic>
#include <functional>

#include "broadcast/studio_parts.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "playlist/playlist.h"
#include "support/fake_views.h"

namespace brovana::test {

// The display modes, the play order and the volumes, kept in memory.
class MemoryModes final : public Visualisation, public PlayOrder, public VolumeWindow {
 public:
  bool displayOn(int display) const override { return on_[display & 7]; }
  void setDisplay(int display, bool on) override { on_[display & 7] = on; }
  VisualFeed* feed() override { return shown; }
  VisualFeed* shown = nullptr;  // none: nothing is drawn
  bool random() const override { return random_; }
  void setRandom(bool on) override { random_ = on; }
  int priority() const override { return 0; }
  void setPriority(int) override {}
  int volume(Line line) const override { return volumes_[line]; }
  void setVolume(Line line, int value) override { volumes_[line] = value; }
  void show() override {}
  void setSkin(const std::string&) override {}

 private:
  std::atomic<bool> on_[8] = {}, random_{false};
  int volumes_[3] = {32000, 32000, 32000};
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

// The parts that need no more than a name: the stage, the mixers, the gauge and the dialogs.
class FakePart final : public StageControl,
                       public MixerControl,
                       public QualityWindow,
                       public QualityReports,
                       public BroadcastInfoDialog,
                       public VoiceoverPanel,
                       Part {
 public:
  FakePart(Journal& j, std::string name, bool selects = true) : Part(j, std::move(name)), selects_(selects) {
    note("make");
  }
  void setVisual(Visualisation*) override {}
  void setDspHost(SampleProcessor*) override {}
  void setMusicGain(float gain) override { note("musicGain", gain); }
  void startConvertThread() override {}
  void setPcmTap(PcmTap*) override {}
  bool selectSource(Source source) override { return note("select", static_cast<int>(source)), selects_; }
  void setSourceVolume(Source source, int volume) override {
    note("volume", static_cast<int>(source), volume);
  }
  void setWaveOutVolume(int) override {}
  int waveOutVolume() const override { return 0; }
  void show() override {}
  QualityReports* gauge() override { return this; }
  void setCpuQuality(float ratio) override { note("cpu", ratio); }
  void setNetworkQuality(int actual, int expected) override { note("network", actual, expected); }
  void setDeadAir(bool silent) override { note("deadAir", silent); }
  void refresh(bool show) override { note("refresh", show); }
  bool isOpen() const override { return true; }
  void showMicrophone(bool live) override { note("microphone", live); }
  void setSkin(const std::string&) override {}

 private:
  const bool selects_;
};

class FakePlaylistWindow final : public PlaylistWindowControl, Part {
 public:
  FakePlaylistWindow(Journal& j, Prompts& prompts) : Part(j, "playlistWindow"), playlist_(prompts) {}
  Playlist* playlist() override { return &playlist_; }
  int currentIndex() const override { return 0; }
  bool loadPlaylist(const std::string&) override { return false; }
  void addDroppedFiles(const std::vector<std::string>&) override {}
  void addFiles(const std::vector<std::string>&) override {}
  bool unsavedNewPlaylist() const override { return unsaved; }
  bool savePlaylist() override { return note("save"), saves; }
  void show() override { note("show"); }
  bool unsaved = false, saves = false;
  void setSkin(const std::string&) override {}

 private:
  Playlist playlist_;
};

class FakeEngine final : public EngineControl, Part {
 public:
  FakeEngine(Journal& j, const EngineWiring& w) : Part(j, "engine"), reports(w.reports) { note("make"); }
  void start(Playlist&, int, int startIndex) override { note("start", startIndex), playing_ = true; }
  void stopPlaying(bool final) override { note(final ? "stop final" : "stop"), playing_ = false; }
  bool isPlaying() const override { return playing_; }
  std::optional<std::string> currentTitle() const override { return "Blue in Green"; }
  bool continuousLoop() const override { return true; }
  void setContinuousLoop(bool) override {}
  int currentIndex() const override { return playing_ ? 0 : -1; }
  void setCurrentIndex(int index) override { note("jump", index); }
  void setVisual(Visualisation*) override {}
  bool random() const override { return false; }
  void setRandom(bool) override {}
  int priority() const override { return 0; }
  void setPriority(int) override {}
  EngineReports* const reports;

 private:
  std::atomic<bool> playing_{false};
};

// As the real one, a voiceover ends when the capture closes, also when it cannot follow a new
// track (`restartFails`).
class FakeCapture final : public CaptureControl, Part {
 public:
  explicit FakeCapture(Journal& j) : Part(j, "capture") {}
  bool startInput(int lineSpeed) override {
    return note("start", lineSpeed), metering_ = false, open_ = true;
  }
  void closeLineIn() override { note("close"), open_ = voiceover_ = metering_ = false; }
  bool isOpen() const override { return open_; }
  bool startMeter() override { return note("meter"), metering_ = meterOpens && !open_; }
  bool metering() const override { return metering_; }
  bool holdOutput(PcmTap*) override { return note("hold"), open_.load(); }
  bool resumeOutput() override { return note("resume"), open_.load(); }
  void setVoiceover(bool on) override { note("voiceover", on), open_ = metering_ = false, voiceover_ = on; }
  bool voiceover() const override { return voiceover_; }
  void trackChanged() override {
    ++trackChanges;
    if (restartFails && voiceover_ && open_) open_ = voiceover_ = false;
  }
  void setVisual(Visualisation*) override {}
  std::atomic<int> trackChanges{0};
  std::atomic<bool> restartFails{false}, meterOpens{true};

 private:
  std::atomic<bool> open_{false}, voiceover_{false}, metering_{false};
};

class FakeStatusPart final : public StatusWindow, Part {
 public:
  explicit FakeStatusPart(Journal& j) : Part(j, "status") {}
  void setLabel(int id, const std::string& text) override { journal_.add("label", id, text); }
  void setTitle(const std::string&) override {}
  void show() override { note("show"); }
  void setSkin(const std::string&) override {}
};

class FakeParts final : public StudioParts {
 public:
  FakeParts(Journal& journal, Prompts& prompts) : journal_(journal), prompts_(prompts) {}

  bool codecFails = false;
  bool mixerSwitches = true;
  std::function<void(ServerLink&)> onWizard;  // while the wizard runs
  std::vector<bool> wizardResults;            // in order; true once used up
  FakeEngine* engine = nullptr;
  FakeCapture* capture = nullptr;
  FakePlaylistWindow* playlistWindow = nullptr;

  int cpuMHz() override { return 0; }
  bool cdPresent() override { return false; }
  bool runSetupWizard(ServerLink& link, bool firstRun) override {
    journal_.add(firstRun ? "wizard first" : "wizard");
    if (onWizard) onWizard(link);
    bool result = wizardResults.empty() || wizardResults.front();
    if (!wizardResults.empty()) wizardResults.erase(wizardResults.begin());
    return result;
  }
  std::unique_ptr<StatusWindow> makeStatusWindow() override {
    return std::make_unique<FakeStatusPart>(journal_);
  }
  std::unique_ptr<QualityWindow> makeQualityWindow() override {
    return std::make_unique<FakePart>(journal_, "gauge");
  }
  std::unique_ptr<PlaylistWindowControl> makePlaylistWindow(Studio&) override {
    return made(playlistWindow, std::make_unique<FakePlaylistWindow>(journal_, prompts_));
  }
  std::unique_ptr<StageControl> makeConversionStage(ServerLink&, StatusDisplay&, ProgramExit& exit) override {
    if (codecFails) exit.endProgram(0);
    return codecFails ? nullptr : std::make_unique<FakePart>(journal_, "stage");
  }
  std::unique_ptr<EngineControl> makePlaylistEngine(const EngineWiring& wiring) override {
    return made(engine, std::make_unique<FakeEngine>(journal_, wiring));
  }
  std::unique_ptr<PluginControl> makePluginHost() override { return nullptr; }
  std::unique_ptr<MixerControl> makeMixer(MixerDestination to) override {
    return std::make_unique<FakePart>(journal_, to == MixerDestination::Recording ? "inMixer" : "outMixer",
                                      mixerSwitches);
  }
  std::unique_ptr<VolumeWindow> makeVolumeWindow(int) override { return std::make_unique<MemoryModes>(); }
  std::unique_ptr<CaptureControl> makeCapture(const CaptureWiring&) override {
    return made(capture, std::make_unique<FakeCapture>(journal_));
  }
  std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(ServerLink&, Studio&) override {
    return std::make_unique<FakePart>(journal_, "info");
  }
  std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(ServerLink&) override { return nullptr; }
  std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Studio&) override {
    return std::make_unique<FakePart>(journal_, "panel");
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
