#pragma once

// Readable errors in test failure messages.

#include <ostream>

#include "platform/foundation/Error.h"

namespace velarium {

inline void PrintTo(const Error& error, std::ostream* out) {
    *out << "{" << error.domain << ", " << error.code << ", \"" << error.localizedDescription << "\"}";
}

}  // namespace velarium
