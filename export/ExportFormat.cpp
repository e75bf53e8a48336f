#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "export/AnimationEncoder.h"
#include "export/Exporter.h"

namespace velarium::exporter {
namespace {

struct FormatEntry {
    ExportFormat format;
    const char* name;
    const char* extension;
    bool video;
};

constexpr std::array<FormatEntry, 5> kFormats{{
    {ExportFormat::apng, "apng", "apng", false},
    {ExportFormat::webp, "webp", "webp", false},
    {ExportFormat::gif, "gif", "gif", false},
    {ExportFormat::webm, "webm", "webm", true},
    {ExportFormat::mp4, "mp4", "mp4", true},
}};

const FormatEntry& entry(ExportFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(), [&](const FormatEntry& e) { return e.format == format; });
}

}  // namespace

std::optional<ExportFormat> formatNamed(std::string_view name) {
    for (const FormatEntry& e : kFormats)
        if (name == e.name) return e.format;
    return std::nullopt;
}

std::optional<ExportFormat> formatForPath(std::string_view path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return std::nullopt;
    std::string extension(path.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "png") return ExportFormat::apng;
    for (const FormatEntry& e : kFormats)
        if (extension == e.extension) return e.format;
    return std::nullopt;
}

const char* formatName(ExportFormat format) { return entry(format).name; }
const char* fileExtension(ExportFormat format) { return entry(format).extension; }
bool isVideo(ExportFormat format) { return entry(format).video; }

std::unique_ptr<AnimationEncoder> makeEncoder(ExportFormat format) {
    switch (format) {
    case ExportFormat::apng: return makeAPNGEncoder();
    case ExportFormat::webp: return makeWebPEncoder();
    case ExportFormat::gif: return makeGIFEncoder();
    case ExportFormat::webm:
    case ExportFormat::mp4: return makeVideoEncoder(format);
    }
    return nullptr;
}

}  // namespace velarium::exporter
