#include "export/FileOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "export/ExportError.h"

namespace velarium::exporter {

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, Error* error) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int code = written < 0 ? errno : ENOSPC;
            return fail(error, exportError(kExportErrorCannotWrite,
                                           std::string("Cannot write the export: ") + std::strerror(code)));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace velarium::exporter
