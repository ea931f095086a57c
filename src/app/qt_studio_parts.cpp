#include "app/qt_studio_parts.h"

#include "app/live_windows.h"
#include "app/playlist_window.h"
#include "app/program_info_dialog.h"
#include "app/quality_window.h"
#include "app/status_window.h"
#include "broadcast/supervisor.h"

namespace brovana {

QtStudioParts::QtStudioParts(Prompts& prompts, Mp3Codec& codec, HeadlessParts::EngineMaker makeEngine)
    : prompts_(prompts), broadcast_(prompts, codec, std::move(makeEngine)) {}

bool QtStudioParts::runSetupWizard(LiveConnect&, bool) {
  prompts_.error(
      "The setup wizard is not part of this build yet. Store your member name and password with: "
      "brovana-live --configure --member NAME --password PW");
  return false;
}

std::unique_ptr<StatusWindow> QtStudioParts::makeStatusWindow() {
  return std::make_unique<QtStatusWindow>();
}

std::unique_ptr<QualityWindow> QtStudioParts::makeQualityWindow() {
  return std::make_unique<StreamQualityWindow>([this] {
    if (supervisor_) prompts_.open(supervisor_->web().lineQualityHelpUrl());
  });
}

std::unique_ptr<PlaylistWindowControl> QtStudioParts::makePlaylistWindow(Supervisor& supervisor) {
  return std::make_unique<PlaylistWindow2>(supervisor, prompts_);
}

std::unique_ptr<ConversionStage> QtStudioParts::makeConversionStage(LiveConnect& connection,
                                                                    StatusDisplay& status,
                                                                    ProgramExit& exit) {
  return broadcast_.makeConversionStage(connection, status, exit);
}

std::unique_ptr<PlaylistEngine> QtStudioParts::makePlaylistEngine(const EngineWiring& wiring) {
  return broadcast_.makePlaylistEngine(wiring);
}

std::unique_ptr<VolumeWindow> QtStudioParts::makeVolumeWindow(int initialVolume) {
  return std::make_unique<VolumeControlsWindow>(initialVolume, [this](int sourceCode, int volume) {
    if (supervisor_) supervisor_->setSourceVolume(sourceCode, volume);
  });
}

std::unique_ptr<VoiceoverPanel> QtStudioParts::makeVoiceoverPanel(Supervisor& supervisor) {
  return std::make_unique<CrossfadePanel>(voiceoverActions(supervisor), prompts_);
}

std::unique_ptr<ProgramInfoDialog> QtStudioParts::makeProgramInfoDialog(LiveConnect& connection) {
  if (!supervisor_) return nullptr;
  WebService& web = supervisor_->web();
  return std::make_unique<QtProgramInfoDialog>(
      [&web, &connection](std::string_view title, auto artist, auto album) {
        return web.postSongInfo(connection.serverInfo(), title, artist, album);
      });
}

}  // namespace brovana
