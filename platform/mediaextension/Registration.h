#pragma once

#include <filesystem>
#include <vector>

#include "platform/foundation/Error.h"

namespace velarium {

// Where the extensions embedded with the program or module at `binary`
// live: the build tree's folder first when `binary` lies inside the build
// tree, then `installedFolder`.
std::vector<std::filesystem::path> extensionFoldersFor(const std::filesystem::path& binary,
                                                       const std::filesystem::path& installedFolder);

// The file of the loaded module (program, shared library or plugin) whose
// code holds `address`, symbolic links followed; empty when it cannot be
// told. A plugin loaded into someone else's program passes the address of
// one of its own functions to learn where it was installed.
std::filesystem::path moduleFileContaining(const void* address);

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

// The same from the first of `folders` that holds extensions of the kind,
// for a host whose extensions do not sit beside its executable (a plugin
// loaded into someone else's program).
bool registerFormatReaders(const std::vector<std::filesystem::path>& folders, Error* error = nullptr);
bool registerVideoDecoders(const std::vector<std::filesystem::path>& folders, Error* error = nullptr);

}  // namespace velarium
