#pragma once

// How the elements tell the application that an extension failed: an error
// message on the bus whose text is the extension's own sentence.

#include <gst/gst.h>

#include <string>

#include "platform/foundation/Error.h"

namespace velarium::gst {

// Posts an element error: the extension's text (or `fallback` when it gave
// none), its domain and code in the debug text and in the message's details
// ("extension-error-domain", "extension-error-code"). The message names the
// caller's place in the source through the builtins std::source_location is
// made of: clang 14, which builds the fuzzers, cannot compile this standard
// library's std::source_location.
inline void postExtensionError(GstElement* element, GQuark domain, gint code, const Error& error,
                               const char* fallback, const char* file = __builtin_FILE(),
                               const char* function = __builtin_FUNCTION(), int line = __builtin_LINE()) {
    const std::string& text = error.localizedDescription.empty() ? std::string(fallback) : error.localizedDescription;
    const std::string debug = error.domain.empty() ? std::string() : error.domain + " " + std::to_string(error.code);
    GstStructure* details = gst_structure_new("details",                                                  //
                                              "extension-error-domain", G_TYPE_STRING, error.domain.c_str(),  //
                                              "extension-error-code", G_TYPE_LONG, glong(error.code),     //
                                              nullptr);
    gst_element_message_full_with_details(element, GST_MESSAGE_ERROR, domain, code, g_strdup(text.c_str()),
                                          debug.empty() ? nullptr : g_strdup(debug.c_str()), file, function, line,
                                          details);
}

}  // namespace velarium::gst
