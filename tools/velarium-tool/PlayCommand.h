#pragma once

#include "tools/velarium-tool/CommandLine.h"

namespace velarium::tool {

// `play FILE [--virtual-clock]`: plays the animation through the player
// against a sink that shows nothing, printing each frame as it is presented
// and a summary; returns the exit status.
int runPlayCommand(const PlayOptions& options);

}  // namespace velarium::tool
