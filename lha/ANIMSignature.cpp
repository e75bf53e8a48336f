#include "lha/ANIMSignature.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>

namespace velarium {
namespace {

bool isANIMHead(const char* head) { return std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "ANIM", 4) == 0; }

}  // namespace

bool hasANIMSignature(const std::filesystem::path& path) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) return false;
    std::ifstream in(path, std::ios::binary);
    std::array<char, 12> head{};
    if (!in.read(head.data(), head.size())) return false;
    return isANIMHead(head.data());
}

bool hasANIMSignature(int fileDescriptor) {
    std::array<char, 12> head{};
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fileDescriptor, head.data() + got, head.size() - got, static_cast<off_t>(got));
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return isANIMHead(head.data());
}

}  // namespace velarium
