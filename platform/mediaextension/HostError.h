#pragma once

namespace velarium {

// Failures a host finds in how extensions answer it. The extensions' own
// errors are handed on in their own domains.
inline constexpr const char* kHostErrorDomain = "com.brackwater.Velarium.host";

enum HostErrorCode : long {
    kHostErrorExtensionFailed = -1,   // an extension broke its contract (no answer, no value, no error)
    kHostErrorNoSamples = -2,         // the track has no samples
    kHostErrorTooManySamples = -3,    // the track goes on past the walker's bound
    kHostErrorBadSampleTime = -4,     // a sample's time is not a number, or goes back
    kHostErrorSampleOutOfRange = -5,  // a sample the track does not have was asked for
};

}  // namespace velarium
