#pragma once

// Opening synthetic animations with Farrago's classes directly, and running
// their completion-handler calls as plain function calls.

#include <gtest/gtest.h>

#include "reader-extension/ANIMFormatReader.h"
#include "reader-extension/ANIMFormatReaderFactory.h"
#include "reader-extension/ANIMSampleCursor.h"
#include "reader-extension/ANIMTrackReader.h"
#include "support/ErrorPrinting.h"
#include "support/MemoryByteSource.h"
#include "support/SyntheticAnimations.h"

namespace velarium::testing {

// A parser of `bytes`, parsed; its table is empty when they hold no frames.
inline std::shared_ptr<ANIMParser> parse(const ByteVector& bytes) {
    auto parser = std::make_shared<ANIMParser>(makeSharedBytes(bytes));
    parser->parseWithError(nullptr);
    return parser;
}

inline std::shared_ptr<ANIMFormatReader> openReader(const ByteVector& bytes, Error* error = nullptr) {
    auto source = std::make_shared<MemoryByteSource>(bytes);
    ANIMFormatReaderFactory factory;
    return std::static_pointer_cast<ANIMFormatReader>(factory.formatReaderWithByteSource(source, {}, error));
}

inline std::shared_ptr<ANIMTrackReader> firstTrack(MEFormatReader& reader) {
    std::shared_ptr<ANIMTrackReader> track;
    reader.loadTrackReadersWithCompletionHandler([&](std::vector<METrackReaderRef> tracks, const Error*) {
        if (tracks.size() == 1) track = std::static_pointer_cast<ANIMTrackReader>(tracks.front());
    });
    return track;
}

// Three frames starting at 0, 5 and 10 sixtieths, lasting 5, 5 and 10.
inline SyntheticAnimation threeFrameTimeline() { return {.ticks = {5, 5, 10}}; }

}  // namespace velarium::testing
