#include "gstreamer/AnimTypeFind.h"

#include <cstring>

GST_DEBUG_CATEGORY_STATIC(velarium_typefind_debug);
#define GST_CAT_DEFAULT velarium_typefind_debug

namespace velarium::gst {
namespace {

// "FORM", the form's size, then the form type.
constexpr guint kSignatureLength = 12;
constexpr guint kFormTypeOffset = 8;

// Above PRIMARY, so that ours runs before every generic IFF typefinder
// (libav's avtype_iff among them) and, being certain, ends the search.
constexpr guint kTypeFindRank = GST_RANK_PRIMARY + 1;

void findAnim(GstTypeFind* find, gpointer caps) {
    const guint8* data = gst_type_find_peek(find, 0, kSignatureLength);
    if (!data || std::memcmp(data, "FORM", 4) != 0 || std::memcmp(data + kFormTypeOffset, "ANIM", 4) != 0) return;
    GST_DEBUG("IFF FORM of type ANIM");
    gst_type_find_suggest(find, GST_TYPE_FIND_MAXIMUM, static_cast<GstCaps*>(caps));
}

}  // namespace

gboolean registerAnimTypeFind(GstPlugin* plugin) {
    GST_DEBUG_CATEGORY_INIT(velarium_typefind_debug, "velariumtypefind", 0, "Velarium ANIM typefinder");
    GstCaps* caps = gst_caps_new_empty_simple(kANIMMediaType);
    // The caps live as long as the typefinder, that is, for the process.
    return gst_type_find_register(plugin, kANIMMediaType, kTypeFindRank, findAnim, "anim,anm", caps, caps,
                                  reinterpret_cast<GDestroyNotify>(gst_caps_unref));
}

}  // namespace velarium::gst
