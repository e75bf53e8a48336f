#pragma once

#include <cstdint>

#include "platform/coremedia/FourCharCode.h"

namespace velarium {

// Failures of opening a file as a movie.
inline constexpr const char* kANIMFormatReaderErrorDomain = "com.brackwater.Velarium";
enum ANIMFormatReaderErrorCode : long {
    kANIMFormatReaderErrorInvalidFileSize = -1,
    kANIMFormatReaderErrorReadFailed = -2,
    kANIMFormatReaderErrorParseFailed = -3,
};

// Failures of moving cursors and making samples.
inline constexpr const char* kANIMSampleCursorErrorDomain = "com.brackwater.Velarium.cursor";
enum ANIMSampleCursorErrorCode : long {
    kANIMSampleCursorErrorInvalidDeltaTime = -1,
    kANIMSampleCursorErrorSampleBufferFailed = -2,
    kANIMSampleCursorErrorDecodeFailed = -3,
};

// Files are read into memory whole; this bounds what one reader can hold.
inline constexpr std::int64_t kANIMMaxFileSize = 104857600;  // 100 MiB

// Samples are finished BGRA pictures; the codec type names that payload.
inline constexpr FourCharCode kANIMCodecType = makeFourCharCode("ILBM");
inline constexpr const char* kANIMFormatName = "Amiga IFF ANIM";
inline constexpr std::uint64_t kANIMBytesPerPixel = 4;

}  // namespace velarium
