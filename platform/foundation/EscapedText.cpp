// Names shown without letting their bytes reach a terminal or a message raw.
#include "platform/foundation/EscapedText.h"

#include <cstdio>

#include "platform/foundation/UTF8.h"

namespace velarium {
namespace {

std::string hexEscape(const char* pattern, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

std::string escapedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            out += hexEscape("\\x%02x", byte);
            ++at;
            continue;
        }
        // U+0080 to U+009F: C2 80 to C2 9F. Some terminals obey them as controls.
        if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            out += hexEscape("\\u%04x", static_cast<unsigned char>(text[at + 1]));
        } else if (byte == '\\') {
            out += "\\\\";
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    return out;
}

}  // namespace velarium
