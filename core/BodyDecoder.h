#pragma once

#include <cstddef>
#include <cstdint>

#include "core/PlanarBitmap.h"

namespace velarium {

// Decodes an ILBM BODY (stored or ByteRun1) into a planar bitmap: for each
// row from the top, one row of every plane, then the mask row when the
// header says the BODY has one (read and discarded). Rows the data does not
// reach are left as they were; an unknown compression changes nothing.
void decodeBody(const std::uint8_t* data, std::size_t length, std::uint8_t compression, std::uint8_t masking,
                PlanarBitmap target);

}  // namespace velarium
