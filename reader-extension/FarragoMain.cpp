// Farrago's entry point: the host loads this module and asks it for its
// principal object, the format reader factory.
#include <new>

#include "platform/mediaextension/MEExtension.h"
#include "reader-extension/ANIMFormatReaderFactory.h"

VELARIUM_EXTENSION_ENTRY_POINT { return new (std::nothrow) velarium::ANIMFormatReaderFactory(); }
