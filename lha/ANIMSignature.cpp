#include "lha/ANIMSignature.h"

#include <array>
#include <cstring>
#include <fstream>

namespace velarium {

bool hasANIMSignature(const std::filesystem::path& path) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) return false;
    std::ifstream in(path, std::ios::binary);
    std::array<char, 12> head{};
    if (!in.read(head.data(), head.size())) return false;
    return std::memcmp(head.data(), "FORM", 4) == 0 && std::memcmp(head.data() + 8, "ANIM", 4) == 0;
}

}  // namespace velarium
