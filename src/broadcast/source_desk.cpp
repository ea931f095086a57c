#include "broadcast/source_desk.h"

#include <utility>

#include "audio/mixer.h"
#include "broadcast/microphone_switch.h"
#include "core/prompts.h"
#include "core/text.h"
#include "diag/logger.h"
#include "monitor/main_window_view.h"
#include "monitor/status_display.h"
#include "net/server_link.h"
#include "net/web_service.h"

namespace brovana {
namespace {

struct SourceFacts {
  Source source;
  int commandId;
  const char* statusText;
  const char* logLine;
};

constexpr SourceFacts kSources[] = {
    {Source::Playlist, 32782, "playlist", "Switching source to Playlist\n"},
    {Source::Cd, 32783, "(External source : CD player)", "Switching source to CD-Input\n"},
    {Source::LineIn, 32784, "(External source : line-in)", "Switching source to Line-In\n"},
    {Source::Microphone, 32785, "(External source : microphone)", "Switching source to Microphone\n"},
    {Source::Mixer, 32821, "(External source : system mixer)", "Switching source to the Microsoft Mixer\n"},
};

const SourceFacts& factsOf(Source source) {
  for (const SourceFacts& facts : kSources)
    if (facts.source == source) return facts;
  return kSources[0];
}

}  // namespace

int sourceCommandId(Source source) {
  return factsOf(source).commandId;
}

std::string sourceStatusText(Source source) {
  return factsOf(source).statusText;
}

std::optional<Source> sourceForCommand(int commandId) {
  for (const SourceFacts& facts : kSources)
    if (facts.commandId == commandId) return facts.source;
  return std::nullopt;
}

SourceDesk::SourceDesk(Context context) : context_(context) {}

SourceDesk::~SourceDesk() {
  // The capture goes before the panel that may drive it.
  captureSeen_ = nullptr;
  capture_.reset();
}

Source SourceDesk::source() const {
  Lock lock(mutex_);
  return source_;
}

// The questions and messages come without the lock: their windows may run the event loop.
std::optional<std::string> SourceDesk::choose(Source source) {
  const SourceFacts& facts = factsOf(source);
  std::string text = facts.statusText;
  Logger::log("%s", facts.logLine);
  if (source != Source::Playlist) {
    if (source == Source::Cd && !context_.parts.cdPresent()) {
      context_.prompts.warning(
          "You do not have a CD in your drive. You must load a CD, start playing it with your favorite "
          "player.");
      return std::nullopt;
    }
    // Clears the title the directory shows, then names the source.
    for (const char* title : {"  ", "  ", facts.statusText})
      context_.web.postSong(context_.link.serverInfo(), title);
    bool switched = false;
    {
      Lock lock(mutex_);
      MixerControl* mixer = inputMixerLocked();
      switched = mixer && mixer->selectSource(source);
    }
    if (!switched) {
      context_.prompts.warning(formatText("Unable to switch to %s", text.c_str()));
      return std::nullopt;
    }
  }
  Source before = Source::Playlist;
  {
    Lock lock(mutex_);
    before = std::exchange(source_, source);
  }
  if (source != before)
    context_.prompts.information(formatText("Switching your audio source to your %s", text.c_str()));
  return text;
}

void SourceDesk::showChoice(Source source, const std::string& text) {
  context_.status.setNowPlaying(text);
  if (!context_.mainWindow) return;
  for (const SourceFacts& facts : kSources)
    context_.mainWindow->setMenuCheck(facts.commandId, facts.source == source);
}

// ---- the capture ----

bool SourceDesk::ensureCaptureLocked() {
  if (capture_) return true;
  if (!context_.stage) return false;
  capture_ = context_.parts.makeCapture(CaptureWiring{context_.reports, visual_, &context_.link});
  captureSeen_ = capture_.get();
  return capture_ != nullptr;
}

bool SourceDesk::startInput(int lineSpeed) {
  Lock lock(mutex_);
  return ensureCaptureLocked() && capture_->startInput(lineSpeed);
}

void SourceDesk::closeInput() {
  Lock lock(mutex_);
  if (!capture_ || !(capture_->isOpen() || capture_->metering())) return;
  bool mixing = capture_->voiceover();
  capture_->closeLineIn();
  if (mixing) showMicrophoneLocked(false);
}

bool SourceDesk::inputOpen() const {
  Lock lock(mutex_);
  return capture_ && capture_->isOpen();
}

void SourceDesk::trackChanged() {
  CaptureControl* capture = captureSeen_.load();
  if (!capture) return;
  bool mixing = capture->voiceover() && capture->isOpen();
  capture->trackChanged();
  // A voiceover that could not follow the new track's format is over.
  if (!mixing || capture->isOpen()) return;
  showMicrophone();
}

void SourceDesk::showMicrophone() {
  Lock lock(mutex_);
  showMicrophoneLocked(microphoneLiveLocked());
}

void SourceDesk::setVisual(Visualisation* visual) {
  Lock lock(mutex_);
  visual_ = visual;
  if (capture_) capture_->setVisual(visual);
}

void SourceDesk::meterInput(bool onAir) {
  Lock lock(mutex_);
  bool wanted = InputMeter::wanted(source_, onAir, visual_ && visual_->feed() && visual_->anyDisplayOn());
  if (!capture_ && !wanted) return;  // no capture is made only to stay closed
  if (ensureCaptureLocked()) meter_.follow(*capture_, wanted);
}

// ---- the voiceover ----

void SourceDesk::selectMicrophone(Source microphone) {
  Lock lock(mutex_);
  if (MixerControl* mixer = inputMixerLocked()) mixer->selectSource(microphone);
}

bool SourceDesk::startVoiceover(int lineSpeed) {
  Lock lock(mutex_);
  if (!ensureCaptureLocked()) return false;
  capture_->setVoiceover(true);
  if (!capture_->startInput(lineSpeed)) return false;
  showMicrophoneLocked(true);
  return true;
}

void SourceDesk::stopVoiceover() {
  Lock lock(mutex_);
  stopVoiceoverLocked();
}

// Never the capture of an external source, which is no voiceover.
void SourceDesk::stopVoiceoverLocked() {
  if (!capture_ || !capture_->voiceover()) return;
  capture_->setVoiceover(false);
  capture_->closeLineIn();
  showMicrophoneLocked(false);
}

bool SourceDesk::microphoneLiveLocked() const {
  return capture_ && capture_->voiceover() && capture_->isOpen();
}

void SourceDesk::showMicrophoneLocked(bool live) {
  EngineControl* engine = context_.engine;
  if (engine && engine->isPlaying())
    if (std::optional<std::string> title = engine->currentTitle())
      context_.status.setNowPlaying(live ? "(+mic) " + *title : *title);
  if (voiceoverPanel_) voiceoverPanel_->showMicrophone(live);
}

void SourceDesk::setVoiceoverBalance(int position) {
  Lock lock(mutex_);
  setVoiceoverBalanceLocked(position);
}

void SourceDesk::setVoiceoverBalanceLocked(int position) {
  VoiceoverBalance balance = voiceoverBalance(position);
  if (MixerControl* mixer = inputMixerLocked())
    mixer->setSourceVolume(Source::Microphone, balance.microphoneVolume);
  if (context_.stage) context_.stage->setMusicGain(balance.musicGain);
}

bool SourceDesk::openVoiceoverPanel(Studio& studio) {
  closeVoiceoverPanel();
  std::unique_ptr<VoiceoverPanel> panel = context_.parts.makeVoiceoverPanel(studio);
  Lock lock(mutex_);
  voiceoverPanel_ = std::move(panel);
  if (voiceoverPanel_) setVoiceoverBalanceLocked(kCrossfadeStart);
  return voiceoverPanel_ != nullptr;
}

void SourceDesk::closeVoiceoverPanel() {
  std::unique_ptr<VoiceoverPanel> panel;
  {
    Lock lock(mutex_);
    panel = std::move(voiceoverPanel_);
    stopVoiceoverLocked();
  }
  panel.reset();  // without the lock: the panel's last calls may come back here
}

bool SourceDesk::voiceoverPanelOpen() const {
  Lock lock(mutex_);
  return voiceoverPanel_ != nullptr;
}

Skinnable* SourceDesk::voiceoverPanel() const {
  Lock lock(mutex_);
  return voiceoverPanel_.get();
}

// ---- the mixers ----

void SourceDesk::setSourceVolume(Source source, int volume) {
  Lock lock(mutex_);
  for (MixerControl* mixer : {inputMixerLocked(), outputMixerLocked()})
    if (mixer) mixer->setSourceVolume(source, volume);
}

int SourceDesk::waveOutVolume() const {
  Lock lock(mutex_);
  MixerControl* mixer = outputMixerLocked();
  return mixer ? mixer->waveOutVolume() : 0;
}

void SourceDesk::setWaveOutVolume(int volume) {
  Lock lock(mutex_);
  if (MixerControl* mixer = outputMixerLocked()) mixer->setWaveOutVolume(volume);
}

void SourceDesk::closeMixers() {
  Lock lock(mutex_);
  inputMixer_.reset();
  outputMixer_.reset();
}

// Each mixer at a middle volume when it opens.
MixerControl* SourceDesk::inputMixerLocked() const {
  if (!inputMixerOpened_) {
    inputMixerOpened_ = true;
    if ((inputMixer_ = context_.parts.makeMixer(MixerDestination::Recording)))
      for (Source line : {Source::LineIn, Source::Cd, Source::Microphone})
        inputMixer_->setSourceVolume(line, kInitialVolume);
  }
  return inputMixer_.get();
}

MixerControl* SourceDesk::outputMixerLocked() const {
  if (!outputMixerOpened_) {
    outputMixerOpened_ = true;
    if ((outputMixer_ = context_.parts.makeMixer(MixerDestination::Speakers)))
      outputMixer_->setWaveOutVolume(kInitialVolume);
  }
  return outputMixer_.get();
}

}  // namespace brovana
