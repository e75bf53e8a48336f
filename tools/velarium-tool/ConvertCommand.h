#pragma once

#include "tools/velarium-tool/CommandLine.h"

namespace velarium::tool {

// `convert INPUT… -o OUT [--format F] …`: one animation to the file OUT, or
// a collection (folders searched for animations, LHA archives) into the
// folder OUT, through the exporter. Returns the exit status: 0 everything
// converted, 2 something was not, 1 nothing could be done.
int runConvertCommand(const ConvertOptions& options);

}  // namespace velarium::tool
