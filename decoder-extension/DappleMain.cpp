// Dapple's entry point: the host loads this module and asks it for its
// principal object, the video decoder factory.
#include <new>

#include "decoder-extension/ANIMVideoDecoderFactory.h"
#include "platform/mediaextension/MEExtension.h"

VELARIUM_EXTENSION_ENTRY_POINT { return new (std::nothrow) velarium::ANIMVideoDecoderFactory(); }
