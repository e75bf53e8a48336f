#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mediaextension/ExtensionManifest.h"
#include "platform/mediaextension/MEFormatReader.h"
#include "platform/mediaextension/MEVideoDecoder.h"

namespace velarium {

// The extensions loaded into this process, and the look-ups by which the
// playback framework finds one for a file or a codec type. Modules stay
// loaded for the life of the process: objects they made may be anywhere.
class ExtensionRegistry {
public:
    // The registry of this process.
    static ExtensionRegistry& shared();

    ExtensionRegistry() = default;
    ExtensionRegistry(const ExtensionRegistry&) = delete;
    ExtensionRegistry& operator=(const ExtensionRegistry&) = delete;

    // Loads the module a manifest describes and registers its principal
    // object. Loading a module that is already registered does nothing.
    bool loadExtension(const std::filesystem::path& manifestPath, Error* error);

    // Loads every manifest (*.json) of the folder whose kind matches. All
    // loadable ones are registered; the first failure is reported. Fails
    // with kExtensionsNotFound when none of that kind is there.
    bool loadExtensionsInFolder(const std::filesystem::path& folder, ExtensionKind kind, Error* error);

    // Format readers by file name extension (without the dot, any case) or
    // by type identifier; video decoders by codec type. Null when none.
    std::shared_ptr<MEFormatReaderExtension> formatReaderForFileExtension(std::string_view extension) const;
    std::shared_ptr<MEFormatReaderExtension> formatReaderForTypeIdentifier(std::string_view typeIdentifier) const;
    std::shared_ptr<MEVideoDecoderExtension> videoDecoderForCodecType(FourCharCode codecType) const;

    std::vector<ExtensionManifest> loadedExtensions() const;

private:
    struct Loaded {
        ExtensionManifest manifest;
        std::shared_ptr<MEExtension> principal;
    };

    const Loaded* findFormatReader(bool (*matches)(const ExtensionManifest&, std::string_view),
                                   std::string_view key) const;

    mutable std::mutex mutex_;
    std::vector<Loaded> loaded_;
};

}  // namespace velarium
