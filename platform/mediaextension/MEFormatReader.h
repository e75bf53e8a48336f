#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "platform/coremedia/SampleBuffer.h"
#include "platform/coremedia/VideoFormatDescription.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/MEByteSource.h"
#include "platform/mediaextension/MEExtension.h"
#include "platform/mediaextension/MEFileInfo.h"
#include "platform/mediaextension/METrackInfo.h"
#include "platform/mediaextension/MetadataItem.h"

// The format reader protocols: how the media framework asks an extension to
// present a file as a movie. Completion handlers receive either a result and
// a null error, or an empty result and the error; the error pointer is only
// valid during the call.

namespace velarium {

class METrackReader;
class MESampleCursor;
using METrackReaderRef = std::shared_ptr<METrackReader>;
using MESampleCursorRef = std::shared_ptr<MESampleCursor>;

struct MEFormatReaderInstantiationOptions {
    bool allowIncrementalFragmentParsing = false;
};

struct MESampleCursorSyncInfo {
    bool sampleIsFullSync = false;
    bool sampleIsPartialSync = false;
    bool sampleIsDroppable = false;
};

class MESampleCursor {
public:
    virtual ~MESampleCursor();

    virtual MediaTime presentationTimeStamp() const = 0;
    virtual MediaTime decodeTimeStamp() const = 0;
    virtual MediaTime currentSampleDuration() const = 0;
    virtual VideoFormatDescriptionRef currentSampleFormatDescription() const = 0;
    virtual MESampleCursorSyncInfo syncInfo() const = 0;

    using StepByTimeHandler = std::function<void(MediaTime, bool wasPinned, const Error*)>;
    using StepByCountHandler = std::function<void(std::int64_t stepsTaken, const Error*)>;
    virtual void stepByDecodeTime(MediaTime deltaDecodeTime, const StepByTimeHandler& completionHandler) = 0;
    virtual void stepByPresentationTime(MediaTime deltaPresentationTime,
                                        const StepByTimeHandler& completionHandler) = 0;
    virtual void stepInDecodeOrderByCount(std::int64_t stepCount, const StepByCountHandler& completionHandler) = 0;
    virtual void stepInPresentationOrderByCount(std::int64_t stepCount,
                                                const StepByCountHandler& completionHandler) = 0;

    // An independent cursor at the same place.
    virtual MESampleCursorRef copy() const = 0;

    using SampleBufferHandler = std::function<void(SampleBufferRef, const Error*)>;
    virtual void loadSampleBufferContainingSamplesToEndCursor(const MESampleCursor* endSampleCursor,
                                                              const SampleBufferHandler& completionHandler) = 0;
};

class METrackReader {
public:
    virtual ~METrackReader();

    using TrackInfoHandler = std::function<void(METrackInfoRef, const Error*)>;
    using DurationHandler = std::function<void(MediaTime, const Error*)>;
    using CursorHandler = std::function<void(MESampleCursorRef, const Error*)>;
    virtual void loadTrackInfoWithCompletionHandler(const TrackInfoHandler& completionHandler) = 0;
    virtual void loadUneditedDurationWithCompletionHandler(const DurationHandler& completionHandler) = 0;
    virtual void generateSampleCursorAtPresentationTimeStamp(MediaTime presentationTimeStamp,
                                                             const CursorHandler& completionHandler) = 0;
    virtual void generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
        const CursorHandler& completionHandler) = 0;
    virtual void generateSampleCursorAtLastSampleInDecodeOrderWithCompletionHandler(
        const CursorHandler& completionHandler) = 0;
};

class MEFormatReader {
public:
    virtual ~MEFormatReader();

    using FileInfoHandler = std::function<void(MEFileInfoRef, const Error*)>;
    using MetadataHandler = std::function<void(std::vector<MetadataItemRef>, const Error*)>;
    using TrackReadersHandler = std::function<void(std::vector<METrackReaderRef>, const Error*)>;
    virtual void loadFileInfoWithCompletionHandler(const FileInfoHandler& completionHandler) = 0;
    virtual void loadMetadataWithCompletionHandler(const MetadataHandler& completionHandler) = 0;
    virtual void loadTrackReadersWithCompletionHandler(const TrackReadersHandler& completionHandler) = 0;
};

using MEFormatReaderRef = std::shared_ptr<MEFormatReader>;

// The principal object of a format reader extension.
class MEFormatReaderExtension : public MEExtension {
public:
    MEFormatReaderExtension* formatReaderExtension() override { return this; }

    // A reader for the file behind `primaryByteSource`, or null with the error.
    virtual MEFormatReaderRef formatReaderWithByteSource(const MEByteSourceRef& primaryByteSource,
                                                         const MEFormatReaderInstantiationOptions& options,
                                                         Error* error) = 0;
};

}  // namespace velarium
