#pragma once
// brovana-live --probe FILE...: the MP3 facts and ID3v1 texts of each file as one JSON line on
// standard output, for scripts and for checking the reader against other tools. Needs no
// display and no working folder.

#include <string>
#include <string_view>
#include <vector>

#include "core/json.h"
#include "playlist/mp3_info.h"

namespace brovana {

// One JSON object on one line, without the line end.
std::string probeLine(const MP3Info& info);
// Prints a line per file; 0 when every file had a readable frame header, else 1.
int runProbe(const std::vector<std::string>& files);

}  // namespace brovana
