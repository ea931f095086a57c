#pragma once
// The whole studio program: main() of brovana-live, and of the test that runs it with windows.

namespace brovana {

// Parses the command line and runs what it asks for; the exit code.
int runProgram(int argc, char** argv);

}  // namespace brovana
