#include "app/qt_studio_parts.h"

#include "app/broadcast_info_dialog.h"
#include "app/live_windows.h"
#include "app/playlist_window.h"
#include "app/program_info_dialog.h"
#include "app/quality_window.h"
#include "app/setup_wizard.h"
#include "app/status_window.h"
#include "broadcast/supervisor.h"

namespace brovana {

QtStudioParts::QtStudioParts(Prompts& prompts, EncoderLibrary& codec, HeadlessParts::EngineMaker makeEngine)
    : prompts_(prompts), broadcast_(prompts, codec, std::move(makeEngine)) {}

QtStudioParts::~QtStudioParts() = default;

void QtStudioParts::attach(Supervisor& supervisor) {
  supervisor_ = &supervisor;
  wizard_.reset();
}

bool QtStudioParts::runSetupWizard(ServerLink& connection, bool firstRun) {
  if (!supervisor_) return false;
  if (!wizard_)
    wizard_ = std::make_unique<QtSetupWizard>(*supervisor_, supervisor_->genreList(),
                                              supervisor_->playlistWindow());
  return wizard_->run(connection, firstRun);
}

std::unique_ptr<BroadcastInfoDialog> QtStudioParts::makeBroadcastInfoDialog(ServerLink& connection,
                                                                            Supervisor& supervisor) {
  return std::make_unique<QtBroadcastInfoDialog>(connection, supervisor, supervisor.genreList());
}

std::unique_ptr<StatusWindow> QtStudioParts::makeStatusWindow() {
  return std::make_unique<QtStatusWindow>();
}

std::unique_ptr<QualityWindow> QtStudioParts::makeQualityWindow() {
  return std::make_unique<QtQualityWindow>([this] {
    if (supervisor_) prompts_.open(supervisor_->web().lineQualityHelpUrl());
  });
}

std::unique_ptr<PlaylistWindowControl> QtStudioParts::makePlaylistWindow(Supervisor& supervisor) {
  return std::make_unique<PlaylistWindow>(supervisor, prompts_);
}

std::unique_ptr<StageControl> QtStudioParts::makeConversionStage(ServerLink& connection,
                                                                 StatusDisplay& status, ProgramExit& exit) {
  return broadcast_.makeConversionStage(connection, status, exit);
}

std::unique_ptr<EngineControl> QtStudioParts::makePlaylistEngine(const EngineWiring& wiring) {
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

std::unique_ptr<ProgramInfoDialog> QtStudioParts::makeProgramInfoDialog(ServerLink& connection) {
  if (!supervisor_) return nullptr;
  WebService& web = supervisor_->web();
  return std::make_unique<QtProgramInfoDialog>(
      [&web, &connection](std::string_view title, auto artist, auto album) {
        return web.postSongInfo(connection.serverInfo(), title, artist, album);
      });
}

}  // namespace brovana
