// Reading an animation file into memory and indexing it.
#include "export/AnimationFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "export/ExportError.h"

namespace velarium::exporter {
namespace {

constexpr std::size_t kInitialPipeBuffer = 1 << 20;

Error readError(int errorNumber) {
    return exportError(kExportErrorCannotRead, std::string("Cannot read the file: ") + std::strerror(errorNumber));
}

Error tooLargeError() {
    return exportError(kExportErrorFileTooLarge, "The file is larger than 100 MiB, too large to be an animation");
}

// Closes the descriptor on every path out of the reader.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

SharedBytes readAnimationFile(const std::string& path, Error* error) {
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        fail(error, readError(errno));
        return nullptr;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) {
        fail(error, readError(errno));
        return nullptr;
    }
    if (S_ISDIR(status.st_mode)) {
        fail(error, readError(EISDIR));
        return nullptr;
    }
    if (S_ISREG(status.st_mode) && static_cast<std::uint64_t>(status.st_size) > kMaxAnimationFileSize) {
        fail(error, tooLargeError());
        return nullptr;
    }

    // Read to the end rather than trusting the size: pipes have none, and a
    // file may change while it is read. One byte more than the limit is
    // enough to know that a file is too large.
    constexpr std::size_t kReadLimit = kMaxAnimationFileSize + 1;
    Bytes bytes(S_ISREG(status.st_mode) ? static_cast<std::size_t>(status.st_size) + 1 : kInitialPipeBuffer);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used >= kReadLimit) {
                fail(error, tooLargeError());
                return nullptr;
            }
            bytes.resize(std::min(bytes.size() * 2, kReadLimit));
        }
        const ssize_t got = ::read(file.fd, bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(error, readError(errno));
            return nullptr;
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    if (used > kMaxAnimationFileSize) {
        fail(error, tooLargeError());
        return nullptr;
    }
    bytes.resize(used);
    return makeSharedBytes(std::move(bytes));
}

std::unique_ptr<ANIMParser> openAnimation(const std::string& path, Error* error) {
    SharedBytes bytes = readAnimationFile(path, error);
    if (!bytes) return nullptr;
    try {
        auto parser = std::make_unique<ANIMParser>(std::move(bytes));
        Error parseError;
        if (!parser->parseWithError(&parseError)) {
            // An empty frame table is a failure without a record of its own.
            if (parseError.localizedDescription.empty())
                parseError = exportError(kExportErrorNoFrames, "No frames found: the ANIM file holds no FORM ILBM");
            fail(error, std::move(parseError));
            return nullptr;
        }
        return parser;
    } catch (const std::bad_alloc&) {
        // The working buffers follow the header's picture size, which a
        // damaged file can make enormous.
        fail(error, exportError(kExportErrorOutOfMemory, "Not enough memory for the animation's picture size"));
        return nullptr;
    }
}

}  // namespace velarium::exporter
