#pragma once

#include <cstring>
#include <string>

#include "platform/foundation/Error.h"

namespace velarium {

// The file system's own error: the POSIX domain with errno as the code, and
// the system's message after what was being done.
inline Error systemError(int code, const std::string& action) {
    return Error("NSPOSIXErrorDomain", code, action + ": " + std::strerror(code));
}

}  // namespace velarium
