// The protocol classes' destructors, defined once so that each class has a
// single home for its type information.
#include "platform/mediaextension/MEExtension.h"
#include "platform/mediaextension/MEFormatReader.h"
#include "platform/mediaextension/MEVideoDecoder.h"

namespace velarium {

MEExtension::~MEExtension() = default;
MESampleCursor::~MESampleCursor() = default;
METrackReader::~METrackReader() = default;
MEFormatReader::~MEFormatReader() = default;
MEVideoDecoder::~MEVideoDecoder() = default;

}  // namespace velarium
