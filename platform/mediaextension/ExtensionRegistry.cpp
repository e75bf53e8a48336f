#include "platform/mediaextension/ExtensionRegistry.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace velarium {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool servesFileExtension(const ExtensionManifest& manifest, std::string_view extension) {
    return std::any_of(manifest.fileExtensions.begin(), manifest.fileExtensions.end(),
                       [&](const std::string& served) { return equalsIgnoringCase(served, extension); });
}

bool servesTypeIdentifier(const ExtensionManifest& manifest, std::string_view identifier) {
    return std::any_of(manifest.typeIdentifiers.begin(), manifest.typeIdentifiers.end(),
                       [&](const std::string& served) { return equalsIgnoringCase(served, identifier); });
}

Error loaderError(ExtensionLoaderErrorCode code, std::string text) {
    return Error(kExtensionLoaderErrorDomain, code, std::move(text));
}

std::string dynamicLoaderMessage() {
    const char* message = dlerror();
    return message ? message : "unknown reason";
}

}  // namespace

ExtensionRegistry& ExtensionRegistry::shared() {
    static ExtensionRegistry registry;
    return registry;
}

bool ExtensionRegistry::loadExtension(const std::filesystem::path& manifestPath, Error* error) {
    ExtensionManifest manifest;
    if (!readExtensionManifest(manifestPath, &manifest, error)) return false;

    std::lock_guard<std::mutex> guard(mutex_);
    std::error_code ignored;
    const auto modulePath = std::filesystem::weakly_canonical(manifest.modulePath, ignored);
    for (const auto& entry : loaded_)
        if (std::filesystem::weakly_canonical(entry.manifest.modulePath, ignored) == modulePath) return true;

    const std::string module = manifest.modulePath.string();
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return fail(error, loaderError(kExtensionModuleNotLoadable,
                                       "Cannot load extension module " + module + ": " + dynamicLoaderMessage()));

    auto entry = reinterpret_cast<MEExtensionEntryFunction>(dlsym(handle, kMEExtensionEntryPoint));
    if (!entry) {
        dlclose(handle);
        return fail(error, loaderError(kExtensionEntryPointMissing, "Extension module " + module +
                                                                        " has no entry point " +
                                                                        kMEExtensionEntryPoint));
    }

    std::shared_ptr<MEExtension> principal(entry());
    const bool rightKind = principal && (manifest.kind == ExtensionKind::formatReader
                                             ? principal->formatReaderExtension() != nullptr
                                             : principal->videoDecoderExtension() != nullptr);
    if (!rightKind) {
        // The module stays loaded: its code may still be needed to destroy what it returned.
        principal.reset();
        return fail(error, loaderError(kExtensionWrongKind, "Extension module " + module + " does not provide a " +
                                                                extensionKindName(manifest.kind)));
    }
    loaded_.push_back({std::move(manifest), std::move(principal)});
    return true;
}

bool ExtensionRegistry::loadExtensionsInFolder(const std::filesystem::path& folder, ExtensionKind kind,
                                               Error* error) {
    std::error_code code;
    std::vector<std::filesystem::path> manifests;
    for (const auto& entry : std::filesystem::directory_iterator(folder, code))
        if (entry.path().extension() == ".json") manifests.push_back(entry.path());
    std::sort(manifests.begin(), manifests.end());

    bool anyOfKind = false;
    std::optional<Error> firstFailure;
    for (const auto& path : manifests) {
        ExtensionManifest manifest;
        Error failure;
        bool ok = readExtensionManifest(path, &manifest, &failure);
        if (ok && manifest.kind != kind) continue;
        if (ok) {
            anyOfKind = true;
            ok = loadExtension(path, &failure);
        }
        if (!ok && !firstFailure) firstFailure = failure;
    }
    if (firstFailure) return fail(error, *firstFailure);
    if (!anyOfKind)
        return fail(error, loaderError(kExtensionsNotFound, std::string("No ") + extensionKindName(kind) +
                                                                " extensions found in " + folder.string()));
    return true;
}

const ExtensionRegistry::Loaded* ExtensionRegistry::findFormatReader(
    bool (*matches)(const ExtensionManifest&, std::string_view), std::string_view key) const {
    for (const auto& entry : loaded_)
        if (entry.manifest.kind == ExtensionKind::formatReader && matches(entry.manifest, key)) return &entry;
    return nullptr;
}

std::shared_ptr<MEFormatReaderExtension> ExtensionRegistry::formatReaderForFileExtension(
    std::string_view extension) const {
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    std::lock_guard<std::mutex> guard(mutex_);
    const Loaded* entry = findFormatReader(servesFileExtension, extension);
    if (!entry) return nullptr;
    return std::shared_ptr<MEFormatReaderExtension>(entry->principal, entry->principal->formatReaderExtension());
}

std::shared_ptr<MEFormatReaderExtension> ExtensionRegistry::formatReaderForTypeIdentifier(
    std::string_view typeIdentifier) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Loaded* entry = findFormatReader(servesTypeIdentifier, typeIdentifier);
    if (!entry) return nullptr;
    return std::shared_ptr<MEFormatReaderExtension>(entry->principal, entry->principal->formatReaderExtension());
}

std::shared_ptr<MEVideoDecoderExtension> ExtensionRegistry::videoDecoderForCodecType(FourCharCode codecType) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& entry : loaded_) {
        const auto& codes = entry.manifest.codecTypes;
        if (entry.manifest.kind == ExtensionKind::videoDecoder &&
            std::find(codes.begin(), codes.end(), codecType) != codes.end())
            return std::shared_ptr<MEVideoDecoderExtension>(entry.principal,
                                                            entry.principal->videoDecoderExtension());
    }
    return nullptr;
}

std::vector<ExtensionManifest> ExtensionRegistry::loadedExtensions() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<ExtensionManifest> out;
    for (const auto& entry : loaded_) out.push_back(entry.manifest);
    return out;
}

}  // namespace velarium
