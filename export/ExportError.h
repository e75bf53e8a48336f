#pragma once

#include <string>

#include "platform/foundation/Error.h"

namespace velarium::exporter {

// Failures of an export that are not the source's or the system's own.
inline constexpr const char* kExportErrorDomain = "com.brackwater.Velarium.export";
enum ExportErrorCode : long {
    kExportErrorCancelled = -200,
    kExportErrorExists = -201,       // the output exists and replacing was not asked for
    kExportErrorRange = -202,        // the frames asked for are not in the file
    kExportErrorTooLarge = -203,     // the scaled picture is larger than the format allows
    kExportErrorEncoder = -204,      // the encoder refused or failed
    kExportErrorCannotWrite = -205,  // the output could not be written
    kExportErrorCannotRead = -206,   // the animation file could not be read
    kExportErrorFileTooLarge = -207,
    kExportErrorNoFrames = -208,
    kExportErrorOutOfMemory = -209,  // the picture size asks for more memory than there is
};

inline Error exportError(ExportErrorCode code, std::string description) {
    return Error(kExportErrorDomain, code, std::move(description));
}

}  // namespace velarium::exporter
