#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

#define VELARIUM_TYPE_DEMUX (velarium_demux_get_type())
G_DECLARE_FINAL_TYPE(VelariumDemux, velarium_demux, VELARIUM, DEMUX, GstElement)

GST_ELEMENT_REGISTER_DECLARE(velariumdemux);

G_END_DECLS
