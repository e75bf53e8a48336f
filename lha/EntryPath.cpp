// The relative path an archive entry is written under.
#include <string>
#include <string_view>

#include "lha/ArchiveExtractor.h"
#include "platform/foundation/UTF8.h"

namespace velarium {
namespace {

std::string latin1ToUTF8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// A header string as text: UTF-8 when it is valid UTF-8, else ISO Latin-1
// (which every byte string is).
std::string decodeName(const char* bytes) {
    if (!bytes) return {};
    const std::string_view text(bytes);
    return isValidUTF8(text) ? std::string(text) : latin1ToUTF8(text);
}

}  // namespace

std::string relativePathForEntry(const char* path, const char* filename) {
    const std::string joined = decodeName(path) + decodeName(filename);
    std::string out;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string_view component(joined.data() + start, end - start);
        if (!component.empty() && component != "." && component != "..") {
            if (!out.empty()) out += '/';
            out += component;
        }
        start = end + 1;
    }
    return out;
}

}  // namespace velarium
