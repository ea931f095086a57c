#include "app/qt_studio_parts.h"

#include "app/broadcast_info_dialog.h"
#include "app/live_windows.h"
#include "app/playlist_window.h"
#include "app/program_info_dialog.h"
#include "app/quality_window.h"
#include "app/setup_wizard.h"
#include "app/status_window.h"
#include "broadcast/studio.h"
#include "core/text.h"

namespace brovana {

QtStudioParts::QtStudioParts(Prompts& prompts, EncoderLibrary& codec, HeadlessParts::EngineMaker makeEngine)
    : prompts_(prompts), broadcast_(prompts, codec, std::move(makeEngine)) {}

QtStudioParts::~QtStudioParts() = default;

void QtStudioParts::attach(Studio& studio) {
  studio_ = &studio;
  wizard_.reset();
}

bool QtStudioParts::runSetupWizard(ServerLink& connection, bool firstRun) {
  if (!studio_) return false;
  if (!wizard_)
    wizard_ = std::make_unique<QtSetupWizard>(*studio_, studio_->genreList(), studio_->playlistWindow());
  return wizard_->run(connection, firstRun);
}

std::unique_ptr<BroadcastInfoDialog> QtStudioParts::makeBroadcastInfoDialog(ServerLink& connection,
                                                                            Studio& studio) {
  return std::make_unique<QtBroadcastInfoDialog>(connection, studio, studio.genreList());
}

std::unique_ptr<StatusWindow> QtStudioParts::makeStatusWindow() {
  return std::make_unique<QtStatusWindow>();
}

std::unique_ptr<QualityWindow> QtStudioParts::makeQualityWindow() {
  return std::make_unique<QtQualityWindow>([this] {
    if (studio_) prompts_.open(studio_->web().lineQualityHelpUrl());
  });
}

std::unique_ptr<PlaylistWindowControl> QtStudioParts::makePlaylistWindow(Studio& studio) {
  return std::make_unique<PlaylistWindow>(studio, prompts_);
}

std::unique_ptr<StageControl> QtStudioParts::makeConversionStage(ServerLink& connection,
                                                                 StatusDisplay& status, ProgramExit& exit) {
  return broadcast_.makeConversionStage(connection, status, exit);
}

std::unique_ptr<EngineControl> QtStudioParts::makePlaylistEngine(const EngineWiring& wiring) {
  return broadcast_.makePlaylistEngine(wiring);
}

std::unique_ptr<VolumeWindow> QtStudioParts::makeVolumeWindow(int initialVolume) {
  return std::make_unique<VolumeControlsWindow>(initialVolume, [this](Source source, int volume) {
    if (studio_) studio_->sources().setSourceVolume(source, volume);
  });
}

std::unique_ptr<VoiceoverPanel> QtStudioParts::makeVoiceoverPanel(Studio& studio) {
  return std::make_unique<CrossfadePanel>(voiceoverActions(studio), prompts_);
}

std::unique_ptr<ProgramInfoDialog> QtStudioParts::makeProgramInfoDialog(ServerLink& connection) {
  if (!studio_) return nullptr;
  Studio& studio = *studio_;
  return std::make_unique<QtProgramInfoDialog>(
      [&studio, &connection](std::string_view title, auto artist, auto album) {
        bool posted = false;
        studio.await([&] {
          posted = studio.web().postSongInfo(connection.serverInfo(), title, artist, album);
          if (posted) studio.announceTitle(artistAndTitle(artist.value_or(""), title));
        });
        return posted;
      });
}

}  // namespace brovana
