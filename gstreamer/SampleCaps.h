#pragma once

// What travels from the demuxer to the decoder: the format reader's samples,
// each one finished BGRA picture, under caps that carry everything the video
// decoder extension needs to rebuild the track's format description.
//
//   video/x-velarium-ilbm, codec-type=(string)ILBM, width=(int)W,
//       height=(int)H, framerate=(fraction)N/D, format-name=(string)"…"

#include <gst/gst.h>

#include "gstreamer/GstHandles.h"
#include "platform/coremedia/VideoFormatDescription.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/FrameTable.h"

namespace velarium::gst {

inline constexpr const char* kSampleMediaType = "video/x-velarium-ilbm";

// Caps for samples of `description` arriving at `rate` (0/1: each buffer
// carries its own duration).
CapsRef sampleCaps(const VideoFormatDescription& description, FrameRate rate);

// The format description the caps stand for; null with an error when they
// lack the codec type or a positive size.
VideoFormatDescriptionRef formatDescriptionFromCaps(const GstCaps* caps, Error* error);

}  // namespace velarium::gst
