#pragma once

#include "tools/velarium-tool/CommandLine.h"

namespace velarium::tool {

// `frames FILE -o DIR|- [--format png|bgra] [--from N] [--count M] [--jobs N]`:
// writes the decoded frames; returns the exit status.
int runFramesCommand(const FramesOptions& options);

}  // namespace velarium::tool
