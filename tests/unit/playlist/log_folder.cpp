// Each test program writes its log into a scratch folder of its own: ctest runs many test
// processes at once, and the log file's name is the same for all of them.

#include "support/temp_folder.h"

namespace {

struct LogFolder {
  brovana::test::TempFolder folder;
  brovana::test::ScopedChdir here{folder.path()};
};

LogFolder logFolder;

}  // namespace
