// The desktop program: the main window on its own, or showing a run given
// on the command line.
#pragma once

#include <string>

#include "app/CommandLine.h"

namespace vivurozed {

// Whether a window can be shown at all (an X or Wayland display, or a Qt
// platform chosen explicitly).
bool DisplayAvailable();

// Runs the window until it closes and returns the exit code. batch is the
// command line's run, or null; open a file to open at once.
int RunDesktopProgram(int& argc, char** argv, const TBatchOptions* batch,
                      const std::string& open = {});

}  // namespace vivurozed
