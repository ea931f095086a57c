#pragma once
// The DSP plug-ins from the command line: --list-dsp, and where a --dsp file is found.

#include <string>

namespace brovana {

// Prints the plug-ins of the working folder's Plugins/ with the --dsp choice of each module.
int runListDsp();

// The library a --dsp FILE names, from the working folder: FILE itself when it exists, else
// Plugins/FILE when that does.
std::string dspPath(const std::string& file);

}  // namespace brovana
