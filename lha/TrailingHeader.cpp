// Looking for further LHA headers after the point where lhasa stopped reading.
#include "lha/TrailingHeader.h"

#include <sys/types.h>

#include <cctype>
#include <vector>

namespace velarium {
namespace {

constexpr std::size_t kMethodOffset = 2;  // the method id's place in every header level
constexpr std::size_t kMethodLength = 5;
constexpr std::size_t kLevelOffset = 20;  // the header level byte
constexpr unsigned char kHighestLevel = 3;
constexpr std::size_t kChunk = 4096;

bool isMethodId(const unsigned char* id) {
    if (id[0] != '-' || id[4] != '-' || !std::isalnum(id[3])) return false;
    return (id[1] == 'l' && (id[2] == 'h' || id[2] == 'z')) || (id[1] == 'p' && id[2] == 'm');
}

}  // namespace

bool holdsAnotherHeader(std::FILE* file, std::uint64_t offset) {
    if (::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    // Bytes read but not yet examined as the start of a header.
    std::vector<unsigned char> window;
    bool atEnd = false;
    while (!atEnd) {
        const std::size_t kept = window.size();
        window.resize(kept + kChunk);
        const std::size_t got = std::fread(window.data() + kept, 1, kChunk, file);
        window.resize(kept + got);
        atEnd = got < kChunk;
        std::size_t start = 0;
        for (; start + kMethodOffset + kMethodLength <= window.size(); ++start) {
            const bool levelInWindow = start + kLevelOffset < window.size();
            if (!levelInWindow && !atEnd) break;  // decide once the level byte has been read
            if (!isMethodId(&window[start + kMethodOffset])) continue;
            if (!levelInWindow || window[start + kLevelOffset] <= kHighestLevel) return true;
        }
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(start));
    }
    return false;
}

}  // namespace velarium
