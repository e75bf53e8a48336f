// The plugin's entry: the ANIM typefinder, the demuxer hosting the format
// reader extension and the decoder hosting the video decoder extension.
// The extensions themselves load when an element first needs them.
#include <gst/gst.h>

#include "gstreamer/AnimTypeFind.h"
#include "gstreamer/VelariumDec.h"
#include "gstreamer/VelariumDemux.h"

static gboolean plugin_init(GstPlugin* plugin) {
    gboolean registered = velarium::gst::registerAnimTypeFind(plugin);
    registered &= GST_ELEMENT_REGISTER(velariumdemux, plugin);
    registered &= GST_ELEMENT_REGISTER(velariumdec, plugin);
    return registered;
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, velarium,
                  "Amiga IFF ANIM animations through the Velarium media extensions", plugin_init, VELARIUM_VERSION,
                  "Proprietary", "Velarium", "https://brackwater.com/velarium")
