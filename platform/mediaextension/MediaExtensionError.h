#pragma once

namespace velarium {

// The domain in which extensions report failures to the media framework.
inline constexpr const char* kMediaExtensionErrorDomain = "MediaExtensionErrorDomain";

enum MediaExtensionErrorCode : long {
    // The extension does not handle what it was asked for (a codec type, say).
    kMEErrorUnsupportedFeature = -19320,
    // A request could not be carried out; the sample is lost, the extension is not.
    kMEErrorInternalFailure = -19324,
};

}  // namespace velarium
