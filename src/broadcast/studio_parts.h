#pragma once
// The pieces of the studio that the Studio creates, owns and drives but that are built
// elsewhere: the conversion stage and the two audio sources, the sound card's mixers, the DSP
// plug-in host, and the windows and dialogs. The Studio reaches each through the small
// interface below that names only what it asks of it. A front end (the Qt windows, the headless
// studio) hands the Studio a StudioParts that makes them; tests hand it fakes. Any maker may
// return null when its front end has no such part (the headless studio has no mixer, say); the
// Studio then behaves as the part's failure would make it.
//
// The playlist engine and the capture feed the conversion stage that the same StudioParts made,
// and report through the EngineReports the Studio hands them; the Studio adapts those reports to
// the windows and the service.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/engine_reports.h"
#include "broadcast/settings.h"
#include "monitor/quality_reports.h"
#include "monitor/status_views.h"

namespace brovana {

class PcmTap;
class SampleProcessor;
class ServerLink;
class ProgramExit;
class Playlist;
class StatusDisplay;
class Studio;
class VisualFeed;

// The sources of the "Audio Source" menu. The external ones carry the mixer-line type that the
// input mixer records from.
enum class Source : int {
  Mixer = 3,
  Playlist = 100,
  LineIn = 4098,
  Microphone = 4099,
  Cd = 4101,
};

// A window that takes the skin the member chose.
class Skinnable {
 public:
  virtual ~Skinnable() = default;
  virtual void setSkin(const std::string& path) = 0;
};

// The visualisation object: the main window owns it, the Studio hands it to every producer
// of PCM, and its four displays are stored with the settings.
class Visualisation : public VisualModes {
 public:
  // What the producers feed; null when the visualisation draws nothing.
  virtual VisualFeed* feed() = 0;
};

// The conversion stage (PCM to MP3 on its own thread, out on the connection).
class StageControl {
 public:
  virtual ~StageControl() = default;
  virtual void setVisual(Visualisation* visual) = 0;
  // The plug-in host every block goes through; null: none. Set before the sources start.
  virtual void setDspHost(SampleProcessor* dsp) = 0;
  virtual void startConvertThread() = 0;
  // The music's share of a voiceover mix (the crossfade).
  virtual void setMusicGain(float gain) = 0;
  // What takes the PCM as it goes on the air; null: nothing.
  virtual void setPcmTap(PcmTap* tap) = 0;
};

// What the playlist engine is given at creation.
struct EngineWiring {
  EngineReports* reports = nullptr;
  Visualisation* visual = nullptr;
};

// The playlist engine; its play order and priority are stored with the settings.
class EngineControl : public PlayOrder {
 public:
  // Starts the worker on the list and returns at once.
  virtual void start(Playlist& playlist, int outputBitrate, int startIndex) = 0;
  // Also from the engine's own worker (through EngineReports::listFailed).
  virtual void stopPlaying(bool final) = 0;
  virtual bool isPlaying() const = 0;
  // The title of the track now playing; none before the first one.
  virtual std::optional<std::string> currentTitle() const = 0;
  virtual bool continuousLoop() const = 0;
  virtual void setContinuousLoop(bool on) = 0;
  // The index of the track it plays; -1 when idle.
  virtual int currentIndex() const = 0;
  // Ends the track it plays and goes on at `index` (the playlist window's jump to a track).
  virtual void setCurrentIndex(int index) = 0;
  virtual void setVisual(Visualisation* visual) = 0;
};

// What the capture is given at creation. Voiceover is off at first.
struct CaptureWiring {
  EngineReports* reports = nullptr;
  Visualisation* visual = nullptr;
  ServerLink* connection = nullptr;  // whose stream bit rate line-in is converted at
};

// The capture: the external sources, and the microphone of a voiceover.
class CaptureControl {
 public:
  virtual ~CaptureControl() = default;
  virtual bool startInput(int lineSpeed) = 0;
  virtual void closeLineIn() = 0;
  // Recording for the broadcast or a voiceover, not for the meter.
  virtual bool isOpen() const = 0;
  // Off the air: the recording goes to the visuals alone (see Capture). closeLineIn ends it.
  virtual bool startMeter() = 0;
  virtual bool metering() const = 0;
  // The recording goes to `monitor` while another source has the air, and back on the air (see
  // Capture).
  virtual bool holdOutput(PcmTap* monitor) = 0;
  virtual bool resumeOutput() = 0;
  virtual void setVoiceover(bool on) = 0;
  // In voiceover mode: from setVoiceover(true) until the capture closes or fails to start, also
  // by itself when it cannot follow a new track.
  virtual bool voiceover() const = 0;
  // Called on the playlist engine's worker thread.
  virtual void trackChanged() = 0;
  virtual void setVisual(Visualisation* visual) = 0;
};

enum class MixerDestination { Recording, Speakers };

// One of the sound card's mixers (volume scale 0 to 65535).
class MixerControl {
 public:
  virtual ~MixerControl() = default;
  // Makes the source's line the recording input.
  virtual bool selectSource(Source source) = 0;
  virtual void setSourceVolume(Source source, int volume) = 0;
  virtual void setWaveOutVolume(int volume) = 0;
  virtual int waveOutVolume() const = 0;
};

// One entry of the "Plugins" menu.
struct PluginMenuEntry {
  int id = 0;
  std::string text;
};

// The DSP plug-in host: the "Plugins" menu, and the plug-in every block goes through.
class PluginControl {
 public:
  virtual ~PluginControl() = default;
  // Lists the plug-ins of the working folder's Plugins/.
  virtual bool loadPlugins() = 0;
  // "-none-" (38000) first, then one entry per plug-in from 38001.
  virtual std::vector<PluginMenuEntry> menu() const = 0;
  // Launches plug-in `index` of the menu (0: "-none-"); the menu id checked now, 38000 when it
  // was refused.
  virtual int launch(int index) = 0;
  virtual int checkedId() const = 0;
  // Launches module `module` of the library at `path`; false when it was refused.
  virtual bool launchFile(const std::string& path, int module) = 0;
  // What the conversion stage hands every block to.
  virtual SampleProcessor* samples() = 0;
};

// The status window that the status display writes into.
class StatusWindow : public StatusWindowView, public Skinnable {};

// The stream quality window.
class QualityWindow : public Skinnable {
 public:
  virtual void show() = 0;
  // What the sources' quality figures go to; it lives as long as the window.
  virtual QualityReports* gauge() = 0;
};

// The "Volume Controls" window, which holds the three recording volumes.
class VolumeWindow : public Volumes, public Skinnable {
 public:
  virtual void show() = 0;
};

// The playlist window: the list being edited and the one a playlist broadcast takes.
class PlaylistWindowControl : public Skinnable {
 public:
  // The window's current playlist; null when it has none.
  virtual Playlist* playlist() = 0;
  // Where a broadcast of it starts.
  virtual int currentIndex() const = 0;
  virtual bool loadPlaylist(const std::string& path) = 0;
  // Files dropped on the main window: MP3 files are added, a playlist file is loaded.
  virtual void addDroppedFiles(const std::vector<std::string>& files) = 0;
  // MP3 files chosen elsewhere (the setup wizard), added as the Add button adds them.
  virtual void addFiles(const std::vector<std::string>& paths) = 0;
  virtual bool unsavedNewPlaylist() const = 0;
  // The Save dialog; true when the list was written. A window without one saves nothing.
  virtual bool savePlaylist() { return false; }
  virtual void show() = 0;
};

// The modeless "Broadcast Information" dialog; it shows itself when it is made.
class BroadcastInfoDialog : public Skinnable {
 public:
  // Fills the fields from the connection again; with `show` it also shows the dialog.
  virtual void refresh(bool show) = 0;
  virtual bool isOpen() const = 0;
};

// The "Submit Program Information" dialog; it shows itself when it is made.
class ProgramInfoDialog : public Skinnable {
 public:
  virtual void show() = 0;
};

// The voiceover panel (crossfade slider and microphone button); closed by destroying it, which
// may happen on the playlist engine's worker thread.
class VoiceoverPanel : public Skinnable {
 public:
  // The microphone went into the mix or out of it, whoever did it (also a voiceover that could
  // not follow a new track). From any thread.
  virtual void showMicrophone(bool live) = 0;
};

class StudioParts {
 public:
  virtual ~StudioParts() = default;

  // The processor clock in MHz, 0 when unknown.
  virtual int cpuMHz() = 0;
  // Whether a disc is in the CD drive.
  virtual bool cdPresent() = 0;
  // The setup wizard on the connection; true when the member finished it.
  virtual bool runSetupWizard(ServerLink& connection, bool firstRun) = 0;

  virtual std::unique_ptr<StatusWindow> makeStatusWindow() = 0;
  virtual std::unique_ptr<QualityWindow> makeQualityWindow() = 0;
  virtual std::unique_ptr<PlaylistWindowControl> makePlaylistWindow(Studio& studio) = 0;
  // A stage whose codec does not answer tells the member and ends the program through `exit`.
  virtual std::unique_ptr<StageControl> makeConversionStage(ServerLink& connection, StatusDisplay& status,
                                                            ProgramExit& exit) = 0;
  // Fed by the conversion stage made above.
  virtual std::unique_ptr<EngineControl> makePlaylistEngine(const EngineWiring& wiring) = 0;
  virtual std::unique_ptr<PluginControl> makePluginHost() = 0;
  virtual std::unique_ptr<MixerControl> makeMixer(MixerDestination destination) = 0;
  virtual std::unique_ptr<VolumeWindow> makeVolumeWindow(int initialVolume) = 0;
  // Fed by the conversion stage made above.
  virtual std::unique_ptr<CaptureControl> makeCapture(const CaptureWiring& wiring) = 0;
  virtual std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(ServerLink& connection,
                                                                       Studio& studio) = 0;
  virtual std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(ServerLink& connection) = 0;
  virtual std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Studio& studio) = 0;
};

}  // namespace brovana
