#include "app/headless_front.h"

#include <cstdio>

#include "broadcast/audio_parts.h"
#include "broadcast/dsp_part.h"
#include "core/program_values.h"
#include "diag/system_info.h"
#include "platform/dl_loader.h"

namespace brovana {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

constexpr const char* kConfigureHint =
    "store the member name and password with: brovana-live --configure --member NAME --password PW";

// Questions whose Yes would take the station off the air, or needs a desktop. Every other
// question is answered Yes (see the README's table).
constexpr std::string_view kAnsweredNo[] = {
    "Do you already have an account on Zelvora?",  // a first run is refused before it is asked
    "This account, ",                              // ...log into a different account? No: go live on it
    "A new version of Brovana-Live is available. Would you like to upgrade now?",
    "Your broadcast encountered some errors. Would you like to see the log file?",
};

constexpr std::string_view kRestartQuestion = "Unable to connect to your Zelvora server";

// Without windows the dialog cannot be shown; it says what to do instead.
class HeadlessInfoDialog final : public BroadcastInfoDialog {
 public:
  HeadlessInfoDialog() { tell(); }
  void refresh(bool show) override {
    if (show) tell();
  }
  bool isOpen() const override { return true; }
  void setSkin(const std::string&) override {}

 private:
  static void tell() {
    std::fprintf(stderr, "brovana-live: the service did not accept the stored account; %s\n", kConfigureHint);
  }
};

}  // namespace

bool HeadlessPrompts::answerFor(std::string_view question) {
  // "This account, %s, is currently set up for Hostplay. Do you want switch this to broadcast Live?"
  // (asked when configuring) keeps the station on the air with Yes.
  if (question.find("Do you want switch this to broadcast Live?") != std::string_view::npos) return true;
  for (std::string_view no : kAnsweredNo)
    if (startsWith(question, no)) return false;
  return true;
}

bool HeadlessPrompts::ask(const Question& question) {
  std::lock_guard lock(mutex_);
  bool yes = answerFor(question.text);
  // Every Restart asks again on failure, so an unreachable server must not loop forever.
  if (startsWith(question.text, kRestartQuestion)) yes = restartsOffered_++ < kRestartsOffered;
  const std::string& said = yes ? (question.yesCaption.empty() ? std::string("Yes") : question.yesCaption)
                                : (question.noCaption.empty() ? std::string("No") : question.noCaption);
  std::fprintf(stderr, "brovana-live: question: %s -> %s\n", question.text.c_str(), said.c_str());
  return yes;
}

void HeadlessPrompts::notice(std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "brovana-live: %.*s\n", static_cast<int>(text.size()), text.data());
}

void HeadlessPrompts::open(std::string_view target) {
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "brovana-live: open %.*s\n", static_cast<int>(target.size()), target.data());
}

void HeadlessPrompts::showBox(BoxKind kind, std::string_view text, std::string_view) {
  const char* label = kind == BoxKind::Error ? "error" : kind == BoxKind::Warning ? "warning" : "info";
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "brovana-live: %s: %.*s\n", label, static_cast<int>(text.size()), text.data());
}

void HeadlessExit::endProgram(int code) {
  code_ = code;
  ended_ = true;
}

void HeadlessMainWindow::setTitle(const std::string& title) {
  std::lock_guard lock(mutex_);
  if (title == title_) return;
  title_ = title;
  std::fprintf(stderr, "brovana-live: [%s]\n", title.c_str());
}

bool HeadlessVisual::displayOn(int display) const {
  return display >= 1 && display <= 4 && on_[display].load();
}

void HeadlessVisual::setDisplay(int display, bool on) {
  if (display >= 1 && display <= 4) on_[display] = on;
}

bool HeadlessPlaylistWindow::loadPlaylist(const std::string& path) {
  if (!playlist_.load(path)) return false;
  programValues().setPlaylist(path);
  return playlist_.count() > 0;
}

HeadlessParts::HeadlessParts(Prompts& prompts, EncoderLibrary& codec, EngineMaker makeEngine,
                             std::string captureDevice)
    : prompts_(prompts), codec_(codec), makeEngine_(std::move(makeEngine)), live_(std::move(captureDevice)) {}

int HeadlessParts::cpuMHz() {
  return brovana::cpuMHz();
}

bool HeadlessParts::runSetupWizard(ServerLink&, bool) {
  prompts_.error(std::string("The setup wizard needs the windows; ") + kConfigureHint);
  return false;
}

std::unique_ptr<PlaylistWindowControl> HeadlessParts::makePlaylistWindow(Studio&) {
  return std::make_unique<HeadlessPlaylistWindow>(prompts_);
}

std::unique_ptr<StageControl> HeadlessParts::makeConversionStage(ServerLink& connection,
                                                                 StatusDisplay& status, ProgramExit& exit) {
  auto stage = std::make_unique<StagePart>(connection, status, codec_, prompts_, exit);
  stage->conversion().setFullBand(fullBand_);
  stage_ = stage.get();
  return stage;
}

void HeadlessParts::setFullBand(bool on) {
  fullBand_ = on;
  if (stage_) stage_->conversion().setFullBand(on);
}

std::unique_ptr<EngineControl> HeadlessParts::makePlaylistEngine(const EngineWiring& wiring) {
  return makeEngine_ && stage_ ? makeEngine_(stage_->conversion(), wiring, prompts_) : nullptr;
}

std::unique_ptr<CaptureControl> HeadlessParts::makeCapture(const CaptureWiring& wiring) {
  return stage_ ? live_.makeCapture(stage_->conversion(), wiring, prompts_) : nullptr;
}

std::unique_ptr<PluginControl> HeadlessParts::makePluginHost() {
  return std::make_unique<PluginPart>(std::make_unique<DlLoader>(), prompts_, nullptr);
}

std::unique_ptr<BroadcastInfoDialog> HeadlessParts::makeBroadcastInfoDialog(ServerLink&, Studio&) {
  accountRefused_ = true;
  return std::make_unique<HeadlessInfoDialog>();
}

}  // namespace brovana
