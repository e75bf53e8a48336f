#pragma once

namespace velarium {

// Failures of the playback framework itself. Failures of the extensions,
// the file system and the parser, and extensions that break their contract
// (HostError.h), are reported in their own domains.
inline constexpr const char* kPlaybackErrorDomain = "com.brackwater.Velarium.playback";

enum PlaybackErrorCode : long {
    kPlaybackErrorNoFormatReader = -1,    // no registered format reader serves the file
    kPlaybackErrorNoVideoTrack = -2,      // the file has no enabled video track
    kPlaybackErrorNoVideoDecoder = -3,    // no registered video decoder serves the codec type
    kPlaybackErrorItemNotReady = -6,      // the player item is not ready to play
    kPlaybackErrorInvalidTime = -7,       // a seek to a time that is not a number
};

}  // namespace velarium
