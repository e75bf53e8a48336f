#pragma once

// Frames cross between the extensions and GStreamer without being copied:
// a sample's block becomes the memory of a GstBuffer, and a GstBuffer's
// memory becomes the block of a sample again on the decoder's side.

#include <gst/gst.h>

#include "gstreamer/GstHandles.h"
#include "platform/coremedia/BlockBuffer.h"
#include "platform/coremedia/SampleBuffer.h"
#include "platform/foundation/Error.h"

namespace velarium::gst {

// A read-only GstBuffer over the sample's data that keeps the sample alive
// for as long as the buffer lives; null when the sample has no data.
BufferRef bufferWrappingSample(const SampleBufferRef& sample);

// A block buffer over the bytes of `buffer`, which stays mapped for reading
// (and referenced) until the block goes away; null with an error when the
// buffer is empty or cannot be mapped.
BlockBufferRef blockWrappingBuffer(GstBuffer* buffer, Error* error);

}  // namespace velarium::gst
