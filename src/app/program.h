#pragma once
// The whole studio program: main() of brovana-live, the windows module's entry, and the test that
// runs the program with windows.

#include <string>

#include "app/command_line.h"
#include "app/headless_studio.h"

namespace brovana {

// What the windows do for the program.
struct WindowedStudio {
  // Runs the studio with windows on what the program set up; the exit code.
  int (*run)(int argc, char** argv, const CommandLine& options, const HeadlessSetup& setup);
  // Tells in a box why the studio does not start, without a log: the log file may be another
  // studio's.
  void (*refuse)(int argc, char** argv, const std::string& text);
};

// Parses the command line and runs what it asks for; the exit code. Without `windowed` (the
// executable, which links no GUI library) a command line that asks for the windows is handed,
// before anything is set up, to the windows module, which runs it again with its windows.
int runCommandLine(int argc, char** argv, const WindowedStudio* windowed);

// runCommandLine with the windows in this process.
int runProgram(int argc, char** argv);

}  // namespace brovana
