#include "gstreamer/SampleCaps.h"

#include <string>

namespace velarium::gst {
namespace {

constexpr const char* kCodecTypeField = "codec-type";
constexpr const char* kFormatNameField = "format-name";

// Failures of reading caps, told to the user by the element that met them.
constexpr const char* kCapsErrorDomain = "com.brackwater.Velarium.gstreamer";
constexpr long kCapsErrorIncomplete = -1;

}  // namespace

CapsRef sampleCaps(const VideoFormatDescription& description, FrameRate rate) {
    const VideoDimensions size = description.dimensions();
    CapsRef caps(gst_caps_new_simple(kSampleMediaType,                                                //
                                     kCodecTypeField, G_TYPE_STRING,                                  //
                                     fourCharCodeString(description.mediaSubType()).c_str(),          //
                                     "width", G_TYPE_INT, int(size.width),                            //
                                     "height", G_TYPE_INT, int(size.height),                          //
                                     "framerate", GST_TYPE_FRACTION, rate.numerator, rate.denominator,  //
                                     nullptr));
    if (const auto name = dictionaryString(description.extensions(), kCMFormatDescriptionExtension_FormatName))
        gst_caps_set_simple(caps.get(), kFormatNameField, G_TYPE_STRING, name->c_str(), nullptr);
    return caps;
}

VideoFormatDescriptionRef formatDescriptionFromCaps(const GstCaps* caps, Error* error) {
    const GstStructure* s = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    const char* codecText = s ? gst_structure_get_string(s, kCodecTypeField) : nullptr;
    const auto codecType = codecText ? parseFourCharCode(codecText) : std::nullopt;
    int width = 0, height = 0;
    if (!s || !gst_structure_has_name(s, kSampleMediaType) || !codecType ||
        !gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height) || width <= 0 ||
        height <= 0) {
        fail(error, Error(kCapsErrorDomain, kCapsErrorIncomplete, "The stream does not say what its pictures are"));
        return nullptr;
    }
    Dictionary extensions;
    if (const char* name = gst_structure_get_string(s, kFormatNameField))
        extensions[kCMFormatDescriptionExtension_FormatName] = std::string(name);
    VideoFormatDescriptionRef description;
    const OSStatus status = VideoFormatDescription::create(*codecType, width, height, std::move(extensions), &description);
    if (status != kNoErr) {
        fail(error, Error(kOSStatusErrorDomain, status, "Failed to create video format description"));
        return nullptr;
    }
    return description;
}

}  // namespace velarium::gst
