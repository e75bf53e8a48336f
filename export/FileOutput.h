#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/foundation/Error.h"

namespace velarium::exporter {

// Writes all `size` bytes to `fd`, retrying short writes; false with
// kExportErrorCannotWrite and the system's reason (a full disk, a file too
// large) when the system refuses.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size, Error* error);

}  // namespace velarium::exporter
