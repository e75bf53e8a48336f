#pragma once

namespace velarium {

class MEFormatReaderExtension;
class MEVideoDecoderExtension;

// The principal object of an extension module. The module's entry function
// (kMEExtensionEntryPoint) creates it; the host asks it which kind it is.
class MEExtension {
public:
    virtual ~MEExtension();

    virtual MEFormatReaderExtension* formatReaderExtension() { return nullptr; }
    virtual MEVideoDecoderExtension* videoDecoderExtension() { return nullptr; }
};

// Name and type of the one C function every extension module exports. It
// returns a new principal object that the caller owns, or null.
inline constexpr const char* kMEExtensionEntryPoint = "VelariumExtensionMain";
using MEExtensionEntryFunction = MEExtension* (*)();

}  // namespace velarium

// Declares a module's entry function with default visibility, so it is the
// one symbol the module exports.
#define VELARIUM_EXTENSION_ENTRY_POINT \
    extern "C" __attribute__((visibility("default"))) velarium::MEExtension* VelariumExtensionMain()
