#pragma once
// brovana-live with windows: the skin, the main window, the start-up, the event loop and the
// exit sequence.

#include "app/command_line.h"
#include "app/headless_studio.h"

namespace brovana {

// The windows need what the headless studio needs.
using StudioSetup = HeadlessSetup;

// Runs the studio on the QApplication the caller made (main(), or a test that drives the
// windows). The exit code: 0 after the exit command or a start-up refusal.
int runStudio(const CommandLine& options, const StudioSetup& setup);

// The application's look before any skin: one style on every desktop, so skins look the same,
// and the program icon. In the working folder.
void prepareApplication();

}  // namespace brovana
