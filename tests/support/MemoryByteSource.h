#pragma once

// A byte source over bytes in memory whose behaviour tests can bend: a
// different reported length, short reads, failures with or without an error.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/mediaextension/MEByteSource.h"

namespace velarium::testing {

class MemoryByteSource : public MEByteSource {
public:
    explicit MemoryByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::optional<std::int64_t> reportedLength;  // answered instead of the real length
    std::optional<std::size_t> maxBytesPerRead;  // deliver at most this many per read
    bool failReads = false;                      // report failure
    std::optional<Error> readError;              // ...with this error, or none
    std::atomic<int> readCount{0};

    std::int64_t fileLength() const override {
        return reportedLength ? *reportedLength : static_cast<std::int64_t>(bytes_.size());
    }

    bool readDataOfLength(std::size_t length, std::int64_t offset, void* destination, std::size_t* bytesRead,
                          Error* error) override {
        ++readCount;
        if (bytesRead) *bytesRead = 0;
        if (failReads) return readError ? fail(error, *readError) : false;
        if (offset < 0 || static_cast<std::size_t>(offset) >= bytes_.size()) return true;
        std::size_t n = std::min(length, bytes_.size() - static_cast<std::size_t>(offset));
        if (maxBytesPerRead) n = std::min(n, *maxBytesPerRead);
        std::memcpy(destination, bytes_.data() + offset, n);
        if (bytesRead) *bytesRead = n;
        // Nothing delivered: some sources still report success, with or without an error.
        if (n == 0 && readError && error) *error = *readError;
        return true;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace velarium::testing
