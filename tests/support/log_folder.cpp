// Linked into a test program (brovana_log_folder), this runs the program in a scratch folder of
// its own: ctest runs many test processes at once, and the log file's name is the same for all.

#include "support/temp_folder.h"

namespace {

struct LogFolder {
  brovana::test::TempFolder folder;
  brovana::test::ScopedChdir here{folder.path()};
} logFolder;

}  // namespace
