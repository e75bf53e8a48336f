#pragma once

#include <cstdio>
#include <string>

#include "platform/foundation/Error.h"

namespace velarium::tool {

// Failures found by the tool itself (rather than by the decoding core).
inline constexpr const char* kToolErrorDomain = "com.brackwater.Velarium.tool";
enum ToolErrorCode : long {
    kToolErrorEmptyPicture = -103,
    kToolErrorFrameRange = -104,
    kToolErrorCannotWrite = -105,
    kToolErrorOutOfMemory = -106,
    kToolErrorUsage = -107,
};

inline Error toolError(ToolErrorCode code, std::string description) {
    return Error(kToolErrorDomain, code, std::move(description));
}

// Exit statuses.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the command ran and failed
constexpr int kExitUsage = 2;    // the command line was wrong

// Writes the single line that reports a failure: "velarium-tool: FILE: message",
// or "velarium-tool: message" when no file is concerned.
inline void reportError(const std::string& file, const Error& error) {
    if (file.empty())
        std::fprintf(stderr, "velarium-tool: %s\n", error.localizedDescription.c_str());
    else
        std::fprintf(stderr, "velarium-tool: %s: %s\n", file.c_str(), error.localizedDescription.c_str());
}

}  // namespace velarium::tool
