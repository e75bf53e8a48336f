#pragma once

#include "tools/velarium-tool/CommandLine.h"

namespace velarium::tool {

// `info FILE [--json]`: prints the animation's facts; returns the exit status.
int runInfoCommand(const InfoOptions& options);

}  // namespace velarium::tool
