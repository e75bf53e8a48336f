#pragma once

#include "platform/mediaextension/MEFormatReader.h"

namespace velarium {

// Farrago's principal object: makes one format reader per opened file.
class ANIMFormatReaderFactory final : public MEFormatReaderExtension {
public:
    MEFormatReaderRef formatReaderWithByteSource(const MEByteSourceRef& primaryByteSource,
                                                 const MEFormatReaderInstantiationOptions& options,
                                                 Error* error) override;
};

}  // namespace velarium
