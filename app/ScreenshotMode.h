#pragma once

namespace velarium::app {

struct AppCommandLine;

// Opens the first file as a document, moves its player to the asked frame,
// waits until that frame has come through the extensions to the window, and
// writes the window (and the info panel) as PNG files. Returns the process's
// exit status: 0, or 1 after printing the error as one line on stderr.
// Never hands files to a running instance and never shows an alert.
int runScreenshotMode(const AppCommandLine& commandLine);

}  // namespace velarium::app
