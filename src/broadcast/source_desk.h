#pragma once
// The audio sources: which one the broadcast takes, the capture and the sound card's mixers
// behind the external ones, the voiceover's microphone, panel and balance, and the input volumes.
//
// Locking: one mutex guards all of its state; the playlist engine's worker reaches the capture
// through an atomic (trackChanged), and takes the mutex only when a voiceover ended there; no
// holder of the mutex waits for that worker. It calls no other part of the studio, so the
// broadcast session may call it while holding its own lock.

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "broadcast/input_meter.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class MainWindowView;
class Prompts;
class ServerLink;
class StatusDisplay;
class WebService;

inline constexpr int kInitialVolume = 32000;

// The "Audio Source" menu command of a source, for its radio mark.
int sourceCommandId(Source source);
// What the status shows while the source is on the air.
std::string sourceStatusText(Source source);
// The source of that menu command; none for another id.
std::optional<Source> sourceForCommand(int commandId);

class SourceDesk {
 public:
  // Each must outlive it; the stage and the main window may be none.
  struct Context {
    StudioParts& parts;
    Prompts& prompts;
    ServerLink& link;
    WebService& web;
    StatusDisplay& status;
    MainWindowView* mainWindow = nullptr;
    StageControl* stage = nullptr;
    EngineReports* reports = nullptr;  // what the capture reports to
    EngineControl* engine = nullptr;   // whose track the voiceover's title names
  };
  explicit SourceDesk(Context context);
  ~SourceDesk();
  SourceDesk(const SourceDesk&) = delete;
  SourceDesk& operator=(const SourceDesk&) = delete;

  Source source() const;
  // The member's choice: logged, announced to the directory, and made the recording input of
  // the input mixer. The text the status shows for it, or none when it was refused (no CD in
  // the drive, a mixer that does not switch).
  std::optional<std::string> choose(Source source);
  // After the choice took effect: the status text and the menu's radio mark.
  void showChoice(Source source, const std::string& text);

  // ---- the capture ----
  // The capture on the external source (or the voiceover's microphone); false when it did not open.
  bool startInput(int lineSpeed);
  // Also the meter's recording.
  void closeInput();
  bool inputOpen() const;
  // The capture made so far; null before the first external start or voiceover.
  CaptureControl* capture() const { return captureSeen_.load(); }
  // On the playlist engine's worker.
  void trackChanged();
  void setVisual(Visualisation* visual);
  // After the air or the source changed: the input level meter runs while a live source waits
  // off the air (see InputMeter).
  void meterInput(bool onAir);

  // ---- the voiceover ----
  // While the microphone is in the mix, the title of the track on the air says "(+mic)" and the
  // panel's button offers to turn it off; both hear of every change.
  void selectMicrophone(Source microphone);
  // The microphone mixed into the playlist; false when it did not open.
  bool startVoiceover(int lineSpeed);
  void stopVoiceover();
  // Tells the title and the panel again whether the microphone is in the mix.
  void showMicrophone();
  // The crossfade slider, 0 (microphone only) to 65536 (music only).
  void setVoiceoverBalance(int position);
  // A fresh panel, at the crossfade's starting position; false when the front end has none.
  // The old panel goes as closeVoiceoverPanel has it go.
  bool openVoiceoverPanel(Studio& studio);
  // The panel goes, and with it the voiceover.
  void closeVoiceoverPanel();
  bool voiceoverPanelOpen() const;
  Skinnable* voiceoverPanel() const;

  // ---- the mixers ----
  // An input volume of the "Volume Controls" window, on the recording and the playback mixer.
  void setSourceVolume(Source source, int volume);
  int waveOutVolume() const;
  void setWaveOutVolume(int volume);
  // The mixers close before the rest of the studio goes.
  void closeMixers();

 private:
  using Lock = std::lock_guard<std::mutex>;
  bool ensureCaptureLocked();
  void stopVoiceoverLocked();
  bool microphoneLiveLocked() const;
  void setVoiceoverBalanceLocked(int position);
  // The title and the panel after the microphone went in or out of the mix.
  void showMicrophoneLocked(bool live);
  // The mixers, opened on first use: opening one loads the sound system's mixer plug-ins, which a
  // playlist broadcast never uses. None on a machine without one.
  MixerControl* inputMixerLocked() const;
  MixerControl* outputMixerLocked() const;

  Context context_;
  mutable std::mutex mutex_;
  Source source_ = Source::Playlist;
  Visualisation* visual_ = nullptr;
  mutable std::unique_ptr<MixerControl> inputMixer_;
  mutable std::unique_ptr<MixerControl> outputMixer_;
  mutable bool inputMixerOpened_ = false;
  mutable bool outputMixerOpened_ = false;
  std::unique_ptr<VoiceoverPanel> voiceoverPanel_;
  // Made by the first external start or voiceover; the engine's worker reads the atomic copy.
  std::unique_ptr<CaptureControl> capture_;
  std::atomic<CaptureControl*> captureSeen_{nullptr};
  InputMeter meter_;
};

}  // namespace brovana
