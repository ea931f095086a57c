#include "broadcast/studio_commands.h"

#include <filesystem>

#include "broadcast/studio.h"
#include "core/program_values.h"
#include "core/text.h"
#include "diag/logger.h"
#include "diag/system_info.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

constexpr int kBugReportCommand = 32819;
constexpr int kQuestionCommand = 32818;
constexpr int kHelpCommand = 32811;
constexpr int kTipsCommand = 32814;

}  // namespace

void StudioCommands::startStop() {
  if (studio_.onAir() != OnAir::Off || studio_.starting())
    studio_.stopBroadcast();
  else
    studio_.startBroadcast();
}

void StudioCommands::toggleRandom() {
  EngineControl* engine = studio_.engine();
  if (!engine) return;
  engine->setRandom(!engine->random());
  if (!engine->random()) return;
  if (Playlist* playlist = studio_.playlistInUse()) playlist->shuffle();
}

void StudioCommands::toggleLoop() {
  if (EngineControl* engine = studio_.engine()) engine->setContinuousLoop(!engine->continuousLoop());
}

void StudioCommands::selectSource(int commandId) {
  std::optional<Source> source = sourceForCommand(commandId);
  if (!source) return;
  SourceDesk& sources = studio_.sources();
  if (sources.voiceoverPanelOpen()) {
    if (sources.source() == Source::Playlist)
      sources.closeVoiceoverPanel();
    else
      prompts_.warning("Voiceovers will only work when your audio source is set to \"Playlist\"");
  }
  studio_.selectSource(*source);
}

void StudioCommands::restartServer() {
  studio_.restartServer();
}

std::string StudioCommands::skinPath(const std::string& chosen) const {
  return std::filesystem::path(chosen).lexically_proximate(studio_.startupFolder()).string();
}

void StudioCommands::skinChosen(const std::string& path, bool usable) {
  if (!usable) {
    prompts_.warning(formatText("The skin %s cannot be used; see the log for why.", path.c_str()));
    return;
  }
  programValues().setSkin(path);
  studio_.setSkin(path);
}

std::string StudioCommands::mailLink(int commandId) const {
  std::string member = studio_.connection() ? studio_.connection()->memberName() : std::string();
  if (commandId == kBugReportCommand)
    return mailtoLink(kSupportMail, kBugReportSubject, bugReportBody(member, Logger::getLogPath()));
  if (commandId == kQuestionCommand) return mailtoLink(kSupportMail, kQuestionSubject, questionBody(member));
  return mailtoLink(
      "", "Zelvora online radio station",
      formatText("Hey! Check out my Live radio station at %s !", directoryEntryUrl(member).c_str()));
}

std::string StudioCommands::pageUrl(int commandId) const {
  WebService& web = studio_.web();
  return commandId == kHelpCommand   ? web.programHelpUrl()
         : commandId == kTipsCommand ? web.tipsUrl()
                                     : web.lineQualityHelpUrl();
}

bool StudioCommands::mayExit() {
  PlaylistWindowControl* playlist = studio_.playlistWindow();
  if (!studio_.unsavedNewPlaylist() || !playlist)
    return studio_.onAir() == OnAir::Off ||
           prompts_.ask(Question::stopping("You are currently broadcasting, are you sure you want to exit?"));
  // One question, which offers the playlist's Save too.
  Question question =
      Question::stopping("You haven't saved your new playlist, are you sure you want to exit?");
  question.otherCaption = "Save and Exit";
  Answer answer = prompts_.choose(question);
  return answer == Answer::Yes || (answer == Answer::Other && playlist->savePlaylist());
}

std::string mailtoLink(const std::string& to, const std::string& subject, const std::string& body) {
  std::string address = queryEscape(to);
  for (size_t at; (at = address.find("%40")) != std::string::npos;) address.replace(at, 3, "@");
  return "mailto:" + address + "?subject=" + queryEscape(subject) + "&body=" + queryEscape(body);
}

}  // namespace brovana
