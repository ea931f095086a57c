// The windows module's one export: the executable, which links no GUI library, hands it a command
// line that asks for the windows.

#include "app/program.h"

extern "C" __attribute__((visibility("default"))) int brovana_live_windows(int argc, char** argv) {
  return brovana::runProgram(argc, argv);
}
