#include "platform/mediaextension/FileByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velarium {
namespace {

// The file is named by whoever reports the error; the text says what went wrong.
Error posixError(int code) { return systemError(code, "Cannot read the file"); }

}  // namespace

MEByteSource::~MEByteSource() = default;

std::shared_ptr<FileByteSource> FileByteSource::open(const std::filesystem::path& path, Error* error) {
    // Non-blocking so that a named pipe cannot hang the open; reads of
    // regular files are unaffected by the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(error, posixError(errno));
        return nullptr;
    }
    struct stat info {};
    int code = 0;
    if (::fstat(fd, &info) != 0)
        code = errno;
    else if (S_ISDIR(info.st_mode))
        code = EISDIR;
    else if (!S_ISREG(info.st_mode))
        code = EINVAL;  // pipes and devices have no length to read up front
    if (code != 0) {
        ::close(fd);
        fail(error, posixError(code));
        return nullptr;
    }
    return std::shared_ptr<FileByteSource>(new FileByteSource(path, fd, static_cast<std::int64_t>(info.st_size)));
}

FileByteSource::~FileByteSource() { ::close(fd_); }

bool FileByteSource::readDataOfLength(std::size_t length, std::int64_t offset, void* destination,
                                      std::size_t* bytesRead, Error* error) {
    if (bytesRead) *bytesRead = 0;
    if (offset < 0 || (!destination && length > 0)) return fail(error, posixError(EINVAL));

    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    // pread may return less than asked for; keep going until the end of the file.
    while (done < length) {
        const ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset) + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (bytesRead) *bytesRead = done;
            return fail(error, posixError(errno));
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (bytesRead) *bytesRead = done;
    return true;
}

}  // namespace velarium
