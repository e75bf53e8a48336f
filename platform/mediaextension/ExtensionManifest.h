#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/coremedia/FourCharCode.h"
#include "platform/foundation/Error.h"

namespace velarium {

// Errors of finding and opening extension modules.
inline constexpr const char* kExtensionLoaderErrorDomain = "com.brackwater.Velarium.extensions";
enum ExtensionLoaderErrorCode : long {
    kExtensionManifestUnreadable = -1,
    kExtensionManifestInvalid = -2,
    kExtensionModuleNotLoadable = -3,
    kExtensionEntryPointMissing = -4,
    kExtensionWrongKind = -5,
    kExtensionsNotFound = -6,
};

enum class ExtensionKind { formatReader, videoDecoder };

const char* extensionKindName(ExtensionKind kind);

// The description that sits beside each extension module, as JSON:
//   { "name": "...", "kind": "format-reader" | "video-decoder",
//     "module": "<file name of the module beside the manifest>",
//     "fileExtensions": [...], "typeIdentifiers": [...]   (format readers)
//     "codecTypes": ["ILBM", ...]                          (video decoders) }
struct ExtensionManifest {
    std::filesystem::path manifestPath;
    std::string name;
    ExtensionKind kind = ExtensionKind::formatReader;
    std::filesystem::path modulePath;  // resolved beside the manifest
    std::vector<std::string> fileExtensions;   // lower case, without the dot
    std::vector<std::string> typeIdentifiers;
    std::vector<FourCharCode> codecTypes;
};

// Reads and checks one manifest. Fails with kExtensionManifestUnreadable or
// kExtensionManifestInvalid.
bool readExtensionManifest(const std::filesystem::path& manifestPath, ExtensionManifest* manifest, Error* error);

}  // namespace velarium
