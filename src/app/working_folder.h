#pragma once
// The program's working folder: a per-user data folder seeded with the shipped skins, genre list
// and names file, made the current directory so that the program's relative names resolve there.

#include <string>

namespace brovana {

// $XDG_DATA_HOME/brovana-live, or ~/.local/share/brovana-live.
std::string defaultWorkingFolder();

// Creates `folder` when missing, copies in the shipped files it does not have yet (a member's
// own edits are never overwritten), and the plug-ins of `pluginDir` into its Plugins/ likewise,
// and changes into it. False, with `error` set, when it cannot.
bool enterWorkingFolder(const std::string& folder, const std::string& shareDir, std::string& error,
                        const std::string& pluginDir = "");

// The folder of shipped files next to the build, or the installed one.
std::string shippedFilesFolder();
// The plug-ins built beside a studio that runs from its build tree; none for an installed one,
// whose share folder holds them.
std::string builtPluginsFolder();

}  // namespace brovana
