// The window tests run on the offscreen platform (no display, no sound card), with one
// QApplication that lives for the whole test program.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/stop_signals.h"

int main(int argc, char** argv) {
  // As the program does before any thread starts: its run's own thread takes the stop signals.
  brovana::blockStopSignals();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
