#pragma once
// The program's working folder: a per-user data folder seeded with the shipped skins, genre list
// and names file, made the current directory so that the program's relative names resolve there.

#include <string>

namespace brovana {

// $XDG_DATA_HOME/brovana-live, or ~/.local/share/brovana-live.
std::string defaultWorkingFolder();

// Creates `folder` when missing, copies in the shipped files it does not have yet (a member's
// own edits are never overwritten), links the shipped plug-ins into its Plugins/ (so that an
// upgrade reaches them) and changes into it. False, with `error` set, when it cannot.
bool enterWorkingFolder(const std::string& folder, const std::string& shareDir, std::string& error,
                        const std::string& pluginDir = {});

// One studio at a time on a working folder and on a settings file: a second one would go on the
// air as the same member and write over the first one's logs and settings. The locks (flock on
// "brovana-live.lock" in the working folder and on "<settings file>.studio.lock", apart from the
// settings store's own lock file) are held while this lives; the system drops them when the
// process ends, however it ends, so a studio that was killed leaves no lock behind. Each lock file
// holds its holder's process id, for the message.
class StudioLock {
 public:
  StudioLock() = default;
  ~StudioLock();
  StudioLock(const StudioLock&) = delete;
  StudioLock& operator=(const StudioLock&) = delete;

  // Both locks; the settings file's folder must exist (the settings store makes it). False, with
  // `error` saying which and what to do, when another process holds either or a lock file cannot
  // be made; nothing is held then.
  bool take(const std::string& workingFolder, const std::string& settingsFile, std::string& error);

 private:
  void release();
  int work_ = -1;
  int settings_ = -1;
};

// The shipped files, plug-ins and windows module of an installed program sit beside its bin/
// folder (<prefix>/share/brovana-live, <prefix>/lib/brovana-live/plugins and modules/windows.so); a
// program run from its build takes the source tree's share/ and the build's plug-ins and module,
// laid out the same way. BROVANA_SHARE_DIR names another share folder.
std::string shippedFilesFolder();
std::string shippedPluginsFolder();
std::string shippedWindowsModule();

}  // namespace brovana
