#include "gstreamer/ExtensionHost.h"

#include <mutex>

#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/Registration.h"

namespace velarium::gst {
namespace {

// Registration is attempted once per kind; a failure is kept and reported to
// every element that asks, so that each says why it cannot work.
struct RegistrationResult {
    std::once_flag once;
    bool succeeded = false;
    Error failure;
};

bool registerOnce(RegistrationResult& result, bool (*registerKind)(const std::vector<std::filesystem::path>&, Error*),
                  Error* error) {
    std::call_once(result.once, [&] { result.succeeded = registerKind(extensionFolders(), &result.failure); });
    return result.succeeded || fail(error, result.failure);
}

}  // namespace

std::filesystem::path pluginFile() { return moduleFileContaining(reinterpret_cast<const void*>(&pluginFile)); }

std::vector<std::filesystem::path> extensionFolders() {
    const auto plugin = pluginFile();
    return extensionFoldersFor(plugin, plugin.parent_path() / VELARIUM_EXTENSIONS_FROM_PLUGIN);
}

std::shared_ptr<MEFormatReaderExtension> animFormatReaderExtension(Error* error) {
    static RegistrationResult formatReaders;
    if (!registerOnce(formatReaders, &registerFormatReaders, error)) return nullptr;
    auto extension = ExtensionRegistry::shared().formatReaderForTypeIdentifier(kANIMTypeIdentifier);
    if (!extension)
        fail(error, Error(kExtensionLoaderErrorDomain, kExtensionsNotFound,
                          std::string("No format reader extension serves ") + kANIMTypeIdentifier));
    return extension;
}

std::shared_ptr<MEVideoDecoderExtension> videoDecoderExtension(FourCharCode codecType, Error* error) {
    static RegistrationResult videoDecoders;
    if (!registerOnce(videoDecoders, &registerVideoDecoders, error)) return nullptr;
    auto extension = ExtensionRegistry::shared().videoDecoderForCodecType(codecType);
    if (!extension)
        fail(error, Error(kExtensionLoaderErrorDomain, kExtensionsNotFound,
                          "No video decoder extension serves codec type " + fourCharCodeString(codecType)));
    return extension;
}

}  // namespace velarium::gst
