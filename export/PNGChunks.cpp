// PNG chunk framing; the CRC is libdeflate's.
#include "export/PNGChunks.h"

#include <libdeflate.h>

namespace velarium::exporter {

void appendPNGSignature(std::vector<std::uint8_t>& out) {
    out.insert(out.end(), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
}

void appendPNGChunk(std::vector<std::uint8_t>& out, std::string_view type, const std::uint8_t* data, std::size_t size) {
    appendU32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    if (size) out.insert(out.end(), data, data + size);
    // The CRC covers the type and the data.
    appendU32(out, libdeflate_crc32(0, out.data() + typeAt, out.size() - typeAt));
}

}  // namespace velarium::exporter
