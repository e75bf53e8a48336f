#pragma once

#include <gst/gst.h>

namespace velarium::gst {

// The media type of ANIM files, as the typefinder names them and the
// demuxer accepts them.
inline constexpr const char* kANIMMediaType = "video/x-anim";

// Registers the typefinder: an IFF FORM of type ANIM, told by its first
// twelve bytes whatever the file is called.
gboolean registerAnimTypeFind(GstPlugin* plugin);

}  // namespace velarium::gst
