#pragma once
// Where the core's own log lines go (the text of a message box, a refused thread priority). The
// run's log sits above the core, so it installs itself here when the program starts; in a
// program without it the lines go nowhere.

#include <string>

namespace brovana {

using LogSink = void (*)(const std::string& line);

void setLogSink(LogSink sink);
// One whole line, its line end included.
void logLine(const std::string& line);

}  // namespace brovana
