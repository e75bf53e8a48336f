#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/foundation/Error.h"

namespace velarium {

// The framework's access to the bytes of a file it asks a format reader to open.
class MEByteSource {
public:
    virtual ~MEByteSource();

    virtual std::int64_t fileLength() const = 0;
    // Copies up to `length` bytes from `offset` into `destination` and reports
    // how many it copied; fewer than asked for at the end of the file.
    virtual bool readDataOfLength(std::size_t length, std::int64_t offset, void* destination,
                                  std::size_t* bytesRead, Error* error) = 0;
};

using MEByteSourceRef = std::shared_ptr<MEByteSource>;

}  // namespace velarium
