#include "platform/mediaextension/Registration.h"

#include <dlfcn.h>

#include "platform/mediaextension/ExtensionRegistry.h"

namespace velarium {
namespace {

constexpr const char* kInstalledExtensionFolder = "lib/velarium/extensions";

std::filesystem::path executablePath() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

bool registerKind(ExtensionKind kind, const std::vector<std::filesystem::path>& folders, Error* error) {
    std::string searched;
    for (const auto& folder : folders) {
        std::error_code ignored;
        if (!std::filesystem::is_directory(folder, ignored)) {
            searched += (searched.empty() ? "" : ", ") + folder.string();
            continue;
        }
        Error failure;
        if (ExtensionRegistry::shared().loadExtensionsInFolder(folder, kind, &failure)) return true;
        if (failure.code != kExtensionsNotFound) return fail(error, failure);
        searched += (searched.empty() ? "" : ", ") + folder.string();
    }
    return fail(error, Error(kExtensionLoaderErrorDomain, kExtensionsNotFound,
                             std::string("No ") + extensionKindName(kind) + " extensions found in " +
                                 (searched.empty() ? std::string("any folder") : searched)));
}

}  // namespace

std::vector<std::filesystem::path> extensionFoldersFor(const std::filesystem::path& binary,
                                                       const std::filesystem::path& installedFolder) {
    std::vector<std::filesystem::path> folders;
    if (binary.empty()) return folders;
#ifdef VELARIUM_BUILD_TREE
    if (isInside(binary, VELARIUM_BUILD_TREE)) folders.emplace_back(VELARIUM_BUILD_EXTENSION_FOLDER);
#endif
    folders.push_back(installedFolder.lexically_normal());
    return folders;
}

std::filesystem::path moduleFileContaining(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
    std::error_code ignored;
    // Symbolic links are followed, so that a plugin linked into another
    // plugin folder still finds the extensions installed beside the real file.
    const auto file = std::filesystem::canonical(info.dli_fname, ignored);
    return file.empty() ? std::filesystem::path(info.dli_fname) : file;
}

std::vector<std::filesystem::path> embeddedExtensionFolders() {
    const auto executable = executablePath();
    return extensionFoldersFor(executable, executable.parent_path().parent_path() / kInstalledExtensionFolder);
}

bool registerFormatReaders(Error* error) {
    return registerKind(ExtensionKind::formatReader, embeddedExtensionFolders(), error);
}

bool registerVideoDecoders(Error* error) {
    return registerKind(ExtensionKind::videoDecoder, embeddedExtensionFolders(), error);
}

bool registerFormatReaders(const std::vector<std::filesystem::path>& folders, Error* error) {
    return registerKind(ExtensionKind::formatReader, folders, error);
}

bool registerVideoDecoders(const std::vector<std::filesystem::path>& folders, Error* error) {
    return registerKind(ExtensionKind::videoDecoder, folders, error);
}

}  // namespace velarium
