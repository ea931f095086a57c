#pragma once
// The studio without windows: boxes go to standard error (and, as every box, to the log), and
// each question gets the answer that keeps the station on the air. The parts that need a window
// are absent; the playlist, the conversion stage, the engine, the capture, the mixers and the CD
// check are the real ones.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "broadcast/studio_parts.h"
#include "core/prompts.h"
#include "monitor/main_window_view.h"
#include "monitor/quality_gauge.h"
#include "platform/live_input.h"
#include "playlist/playlist.h"

namespace brovana {

class ConversionStage;
class StagePart;
class EncoderLibrary;

class HeadlessPrompts final : public Prompts {
 public:
  using Prompts::ask;
  bool ask(const Question& question) override;
  void notice(std::string_view text) override;
  void waitCursor(bool) override {}
  // Nothing to hand a URL to without a desktop: it is printed instead.
  void open(std::string_view target) override;

  // The answer a question gets (before the limit on restarts); exposed for the tests.
  static bool answerFor(std::string_view question);
  // How often "restart and try again?" is answered Restart in one run.
  static constexpr int kRestartsOffered = 3;

 protected:
  void showBox(BoxKind kind, std::string_view text, std::string_view caption) override;

 private:
  std::mutex mutex_;  // one message at a time on standard error
  int restartsOffered_ = 0;
};

// Records the end of the program; the front end returns the code once the core has unwound.
class HeadlessExit : public ProgramExit {
 public:
  void endProgram(int code) override;
  bool ended() const { return ended_; }
  int code() const { return code_; }

 private:
  std::atomic<bool> ended_{false};
  std::atomic<int> code_{0};
};

// The main window's title goes to standard error when it changes.
class HeadlessMainWindow final : public MainWindowView {
 public:
  void setTitle(const std::string& title) override;
  void setBroadcastCaption(const std::string&) override {}
  void setMenuCheck(int, bool) override {}

 private:
  std::mutex mutex_;
  std::string title_;
};

// The display modes are kept for the stored settings; nothing is drawn.
class HeadlessVisual final : public Visualisation {
 public:
  bool displayOn(int display) const override;
  void setDisplay(int display, bool on) override;
  VisualFeed* feed() override { return nullptr; }

 private:
  std::atomic<bool> on_[5] = {};
};

// No window for the stream quality figures: the gauge still judges, counts and logs dropouts.
class HeadlessQualityWindow final : public QualityWindow {
 public:
  // What the sources' quality figures go to.
  QualityReports* gauge() override { return &gauge_; }
  void show() override {}
  void setSkin(const std::string&) override {}

 private:
  QualityGauge gauge_;
};

// The playlist the headless studio broadcasts, loaded from a file; the setup wizard's tracks go
// at its end.
class HeadlessPlaylistWindow final : public PlaylistWindowControl {
 public:
  explicit HeadlessPlaylistWindow(Prompts& prompts) : playlist_(prompts) {}
  Playlist* playlist() override { return &playlist_; }
  int currentIndex() const override { return 0; }
  // Remembers the file as the playlist of the run, for the next one.
  bool loadPlaylist(const std::string& path) override;
  void addDroppedFiles(const std::vector<std::string>& files) override {
    for (const std::string& file : files) playlist_.addFile(file, AddMode::Append);
  }
  void addFiles(const std::vector<std::string>& paths) override { addDroppedFiles(paths); }
  bool unsavedNewPlaylist() const override { return false; }
  void show() override {}
  void setSkin(const std::string&) override {}

 private:
  Playlist playlist_;
};

class HeadlessParts final : public StudioParts {
 public:
  using EngineMaker = std::function<std::unique_ptr<EngineControl>(
      ConversionStage& stage, const EngineWiring& wiring, Prompts& prompts)>;

  // The codec must outlive the parts. Without an engine maker nothing plays. The live sources
  // are recorded from `captureDevice`, or from the default input when it is empty.
  HeadlessParts(Prompts& prompts, EncoderLibrary& codec, EngineMaker makeEngine,
                std::string captureDevice = {});

  // The stage takes the full band for its tap (see ConversionStage::setFullBand).
  void setFullBand(bool on);
  // The service refused the stored account during start-up; the member has to configure again.
  bool accountRefused() const { return accountRefused_; }

  int cpuMHz() override;
  bool cdPresent() override { return live_.cdPresent(); }
  bool runSetupWizard(ServerLink& connection, bool firstRun) override;
  std::unique_ptr<StatusWindow> makeStatusWindow() override { return nullptr; }
  std::unique_ptr<QualityWindow> makeQualityWindow() override {
    return std::make_unique<HeadlessQualityWindow>();
  }
  std::unique_ptr<PlaylistWindowControl> makePlaylistWindow(Studio& studio) override;
  std::unique_ptr<StageControl> makeConversionStage(ServerLink& connection, StatusDisplay& status,
                                                    ProgramExit& exit) override;
  std::unique_ptr<EngineControl> makePlaylistEngine(const EngineWiring& wiring) override;
  std::unique_ptr<PluginControl> makePluginHost() override;
  std::unique_ptr<MixerControl> makeMixer(MixerDestination destination) override {
    return live_.makeMixer(destination);
  }
  std::unique_ptr<VolumeWindow> makeVolumeWindow(int) override { return nullptr; }
  std::unique_ptr<CaptureControl> makeCapture(const CaptureWiring& wiring) override;
  std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(ServerLink& connection,
                                                               Studio& studio) override;
  std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(ServerLink&) override { return nullptr; }
  std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Studio&) override { return nullptr; }

 private:
  Prompts& prompts_;
  EncoderLibrary& codec_;
  EngineMaker makeEngine_;
  StagePart* stage_ = nullptr;         // the one made here; the Studio owns it
  std::atomic<bool> fullBand_{false};  // also set from the extra servers' worker
  LiveInput live_;
  bool accountRefused_ = false;
};

}  // namespace brovana
