#pragma once

#include <filesystem>
#include <memory>

#include "platform/foundation/SystemError.h"
#include "platform/mediaextension/MEByteSource.h"

namespace velarium {

// A byte source over a file opened read-only. Reads use pread, so several
// threads may read one source at once without sharing a file position.
class FileByteSource final : public MEByteSource {
public:
    // Opens the file; fails with the system's error (POSIX domain, errno).
    static std::shared_ptr<FileByteSource> open(const std::filesystem::path& path, Error* error);
    ~FileByteSource() override;

    std::int64_t fileLength() const override { return length_; }
    bool readDataOfLength(std::size_t length, std::int64_t offset, void* destination, std::size_t* bytesRead,
                          Error* error) override;

    const std::filesystem::path& path() const { return path_; }

private:
    FileByteSource(std::filesystem::path path, int fd, std::int64_t length)
        : path_(std::move(path)), fd_(fd), length_(length) {}

    std::filesystem::path path_;
    int fd_;
    std::int64_t length_;
};

}  // namespace velarium
