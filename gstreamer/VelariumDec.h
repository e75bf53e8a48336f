#pragma once

#include <gst/video/gstvideodecoder.h>

G_BEGIN_DECLS

#define VELARIUM_TYPE_DEC (velarium_dec_get_type())
G_DECLARE_FINAL_TYPE(VelariumDec, velarium_dec, VELARIUM, DEC, GstVideoDecoder)

GST_ELEMENT_REGISTER_DECLARE(velariumdec);

G_END_DECLS
