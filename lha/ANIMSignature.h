#pragma once

#include <filesystem>

namespace velarium {

// True when the file starts with the IFF ANIM signature: "FORM", a four-byte
// length, "ANIM". Reads at most twelve bytes; a file that cannot be read, or
// is shorter, is not an ANIM file.
bool hasANIMSignature(const std::filesystem::path& path);

// The same test on an open file, read from its start whatever its position.
bool hasANIMSignature(int fileDescriptor);

}  // namespace velarium
