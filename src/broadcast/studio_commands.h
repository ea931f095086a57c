#pragma once
// The main window's commands as rules, without Qt: the window asks its own questions of the
// toolkit (file dialogs), then forwards here; what a command does to the studio is decided here.
// The user-interface thread makes every call.

#include <string>

namespace brovana {

class Prompts;
class Studio;

class StudioCommands {
 public:
  StudioCommands(Studio& studio, Prompts& prompts) : studio_(studio), prompts_(prompts) {}

  // The broadcast button: stops what is on the air or starting, or starts the chosen source.
  void startStop();
  // Random play; turning it on shuffles the list in use.
  void toggleRandom();
  void toggleLoop();
  // An "Audio Source" command. An open voiceover panel closes when the playlist is chosen again;
  // with another source it stays, with a word that it will not work.
  void selectSource(int commandId);
  // Off and on again at the service; the next log-in gives the server its time.
  void restartServer();
  // A skin file the member picked: stored relative to the start-up folder, as the shipped skins
  // are. The path to load.
  std::string skinPath(const std::string& chosen) const;
  // The skin at `path` loaded (`usable`) or not: the windows take it and it is stored, or the
  // member hears why not.
  void skinChosen(const std::string& path, bool usable);
  // The mail link of a "mail" command: a bug report, a question, or a word to a friend.
  std::string mailLink(int commandId) const;
  // The help page of a help command.
  std::string pageUrl(int commandId) const;
  // Asks what must be asked before the program ends; false when the member stays.
  bool mayExit();

 private:
  Studio& studio_;
  Prompts& prompts_;
};

// Every value in a mail link is percent-encoded; the address keeps its "@".
std::string mailtoLink(const std::string& to, const std::string& subject, const std::string& body);

}  // namespace brovana
