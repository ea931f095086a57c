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

// The shipped files, plug-ins and windows module of an installed program sit beside its bin/
// folder (<prefix>/share/brovana-live, <prefix>/lib/brovana-live/plugins and modules/windows.so); a
// program run from its build takes the source tree's share/ and the build's plug-ins and module,
// laid out the same way. BROVANA_SHARE_DIR names another share folder.
std::string shippedFilesFolder();
std::string shippedPluginsFolder();
std::string shippedWindowsModule();

}  // namespace brovana
