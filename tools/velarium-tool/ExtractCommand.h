#pragma once

#include "tools/velarium-tool/CommandLine.h"

namespace velarium::tool {

// `extract ARCHIVE [-o DEST] [--json] [--force]`: extracts an LHA archive
// with the application's engine and reports what was not extracted; files
// already in DEST are left alone (and listed) unless --force. Returns the
// exit status (0 all extracted, 2 something was not, 1 nothing could be done).
int runExtractCommand(const ExtractOptions& options);

}  // namespace velarium::tool
