#include "reader-extension/ANIMFormatReaderFactory.h"

#include "reader-extension/ANIMFormatReader.h"

namespace velarium {

MEFormatReaderRef ANIMFormatReaderFactory::formatReaderWithByteSource(const MEByteSourceRef& primaryByteSource,
                                                                      const MEFormatReaderInstantiationOptions&,
                                                                      Error* error) {
    auto reader = std::make_shared<ANIMFormatReader>();
    if (!reader->initWithByteSource(primaryByteSource, error)) return nullptr;
    return reader;
}

}  // namespace velarium
