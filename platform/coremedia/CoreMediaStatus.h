#pragma once

#include <cstdint>

namespace velarium {

// Media calls report their outcome as a signed 32-bit status, 0 on success.
using OSStatus = std::int32_t;
using CVReturn = std::int32_t;

inline constexpr OSStatus kNoErr = 0;

// Errors that carry a media status use this domain with the status as code.
inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";

// Format descriptions.
inline constexpr OSStatus kCMFormatDescriptionError_InvalidParameter = -12710;

// Block buffers.
inline constexpr OSStatus kCMBlockBufferBlockAllocationFailedErr = -12701;
inline constexpr OSStatus kCMBlockBufferBadOffsetParameterErr = -12703;
inline constexpr OSStatus kCMBlockBufferBadLengthParameterErr = -12704;
inline constexpr OSStatus kCMBlockBufferBadPointerParameterErr = -12705;
inline constexpr OSStatus kCMBlockBufferEmptyBBufErr = -12706;

// Sample buffers.
inline constexpr OSStatus kCMSampleBufferError_RequiredParameterMissing = -12731;
inline constexpr OSStatus kCMSampleBufferError_InvalidEntryCount = -12744;
inline constexpr OSStatus kCMSampleBufferError_BufferHasNoSampleTimingInfo = -12736;

// Pixel buffers.
inline constexpr CVReturn kCVReturnSuccess = 0;
inline constexpr CVReturn kCVReturnError = -6660;
inline constexpr CVReturn kCVReturnInvalidArgument = -6661;
inline constexpr CVReturn kCVReturnAllocationFailed = -6662;
inline constexpr CVReturn kCVReturnInvalidPixelFormat = -6680;
inline constexpr CVReturn kCVReturnInvalidSize = -6681;
inline constexpr CVReturn kCVReturnInvalidPixelBufferAttributes = -6682;

}  // namespace velarium
