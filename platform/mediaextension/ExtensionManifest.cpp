#include "platform/mediaextension/ExtensionManifest.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace velarium {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxManifestBytes = 64 * 1024;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The strings of an optional array member; false when it is present but not
// an array of non-empty strings.
bool stringList(const json& object, const char* key, std::vector<std::string>* out) {
    if (!object.contains(key)) return true;
    const json& list = object.at(key);
    if (!list.is_array()) return false;
    for (const json& item : list) {
        if (!item.is_string() || item.get_ref<const std::string&>().empty()) return false;
        out->push_back(item.get<std::string>());
    }
    return true;
}

std::string requiredString(const json& object, const char* key) {
    if (!object.contains(key) || !object.at(key).is_string()) return {};
    return object.at(key).get<std::string>();
}

}  // namespace

const char* extensionKindName(ExtensionKind kind) {
    return kind == ExtensionKind::formatReader ? "format-reader" : "video-decoder";
}

bool readExtensionManifest(const std::filesystem::path& manifestPath, ExtensionManifest* manifest, Error* error) {
    std::ifstream in(manifestPath, std::ios::binary);
    std::string text;
    if (in) {
        std::ostringstream contents;
        contents << in.rdbuf();
        text = contents.str();
    }
    if (!in || text.size() > kMaxManifestBytes)
        return fail(error, Error(kExtensionLoaderErrorDomain, kExtensionManifestUnreadable,
                                 "Cannot read extension manifest " + manifestPath.string()));

    auto invalid = [&](const std::string& why) {
        return fail(error, Error(kExtensionLoaderErrorDomain, kExtensionManifestInvalid,
                                 "Extension manifest " + manifestPath.string() + " is invalid: " + why));
    };

    const json root = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded()) return invalid("not JSON");
    if (!root.is_object()) return invalid("not a JSON object");

    ExtensionManifest result;
    result.manifestPath = manifestPath;
    result.name = requiredString(root, "name");
    if (result.name.empty()) return invalid("no name");

    const std::string kind = requiredString(root, "kind");
    if (kind == extensionKindName(ExtensionKind::formatReader))
        result.kind = ExtensionKind::formatReader;
    else if (kind == extensionKindName(ExtensionKind::videoDecoder))
        result.kind = ExtensionKind::videoDecoder;
    else
        return invalid("kind must be \"format-reader\" or \"video-decoder\"");

    // The module lives beside its manifest; a bare file name keeps it there.
    const std::string module = requiredString(root, "module");
    if (module.empty() || module.find('/') != std::string::npos || module == "." || module == "..")
        return invalid("module must be a file name beside the manifest");
    result.modulePath = manifestPath.parent_path() / module;

    std::vector<std::string> codecTypes;
    if (!stringList(root, "fileExtensions", &result.fileExtensions) ||
        !stringList(root, "typeIdentifiers", &result.typeIdentifiers) || !stringList(root, "codecTypes", &codecTypes))
        return invalid("fileExtensions, typeIdentifiers and codecTypes must be lists of names");
    for (auto& extension : result.fileExtensions) {
        if (extension.front() == '.') extension.erase(0, 1);
        extension = lowercase(extension);
        if (extension.empty()) return invalid("a file extension is empty");
    }
    for (const auto& code : codecTypes) {
        const auto value = parseFourCharCode(code);
        if (!value) return invalid("codec type \"" + code + "\" is not four characters");
        result.codecTypes.push_back(*value);
    }

    if (result.kind == ExtensionKind::formatReader && result.fileExtensions.empty() && result.typeIdentifiers.empty())
        return invalid("a format reader serves no file extension or type identifier");
    if (result.kind == ExtensionKind::videoDecoder && result.codecTypes.empty())
        return invalid("a video decoder serves no codec type");

    *manifest = std::move(result);
    return true;
}

}  // namespace velarium
