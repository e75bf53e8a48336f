#pragma once

#include <filesystem>
#include <vector>

#include "platform/foundation/Error.h"

namespace velarium {

// Where the extensions embedded with this program live: the installed
// folder lib/velarium/extensions beside the executable's bin folder, and,
// when the executable runs from the build tree, the build tree's folder
// first.
std::vector<std::filesystem::path> embeddedExtensionFolders();

// Make the embedded format readers / video decoders usable in this process
// (ExtensionRegistry::shared()). They load from the first folder that holds
// extensions of the kind; calling again does nothing new.
bool registerFormatReaders(Error* error = nullptr);
bool registerVideoDecoders(Error* error = nullptr);

}  // namespace velarium
