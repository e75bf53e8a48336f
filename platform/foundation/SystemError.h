#pragma once

#include <string>
#include <system_error>

#include "platform/foundation/Error.h"

namespace velarium {

// Errors the system reports through errno carry this domain and errno as
// their code.
inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";

// The system's own error: what was being done, then the system's message
// ("Cannot create the folder: Not a directory"). Safe on any thread.
inline Error systemError(int code, const std::string& action) {
    return Error(kPOSIXErrorDomain, code, action + ": " + std::generic_category().message(code));
}

}  // namespace velarium
