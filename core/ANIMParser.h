#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/ANIMBitmapHeader.h"
#include "core/ANIMFrameInfo.h"
#include "core/ColourCycling.h"
#include "core/FrameCheckpoints.h"
#include "core/PlanarBitmap.h"
#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"

namespace velarium {

// Error domain and codes of the parser.
inline constexpr const char* kANIMParserErrorDomain = "com.brackwater.Velarium.parser";
enum ANIMParserErrorCode : long {
    kANIMParserErrorFileTooSmall = -1,
    kANIMParserErrorNotANIM = -2,
    kANIMParserErrorPictureTooLarge = -3,
    kANIMParserErrorFrameIndexOutOfRange = -10,
    kANIMParserErrorDestinationTooSmall = -11,
};

// The texts a file may carry about itself (ANNO, AUTH, NAME and "(c) "
// chunks), as stored: the first of each kind, at the top level or in a
// frame, cut to kMaxBytes. Empty when absent. Only ever shown, never obeyed.
struct ANIMTexts {
    static constexpr std::size_t kMaxBytes = 256;
    std::string annotation;
    std::string author;
    std::string name;
    std::string copyright;
};

// One parsed IFF ANIM file: its frame table, and the two planar working
// buffers in which frames are rebuilt one after another and delivered as BGRA.
//
// Parsing only indexes the file; the records point into the file bytes by
// offset. Frame delivery is not thread-safe: callers sharing a parser hold
// `lock()` around each request.
class ANIMParser {
public:
    explicit ANIMParser(SharedBytes data);
    ANIMParser(const ANIMParser&) = delete;
    ANIMParser& operator=(const ANIMParser&) = delete;

    // Indexes the file. True when at least one frame was found; an empty
    // table gives false without an error record.
    bool parseWithError(Error* error);

    const SharedBytes& fileData() const { return fileData_; }
    const ANIMBitmapHeader& bitmapHeader() const { return bitmapHeader_; }
    const SharedBytes& colorMap() const { return colorMap_; }
    std::uint32_t camgMode() const { return camgMode_; }
    std::uint8_t dpanSpeed() const { return dpanSpeed_; }
    const MediaTime& totalDuration() const { return totalDuration_; }
    const ANIMTexts& texts() const { return texts_; }
    // The colour-cycling ranges (CRNG, CCRT, DRNG) of the first picture, in file order.
    const std::vector<ColourRange>& colourRanges() const { return colourRanges_; }
    // True when at least one of them cycles.
    bool cyclesColours() const;
    // True when a chunk that starts inside the file's FORM runs past the end
    // of the bytes: the file was cut off, and the frames it held after the
    // last one indexed are lost.
    bool endsEarly() const { return endsEarly_; }

    // A copy of the frame table; the records are shared.
    std::vector<ANIMFrameInfoRef> frames() const { return frames_; }
    const ANIMFrameInfo& frameAtIndex(std::uint64_t index) const { return *frames_[index]; }
    std::uint64_t numFrames() const { return frames_.size(); }

    std::uint64_t width() const { return bitmapHeader_.width; }
    std::uint64_t height() const { return bitmapHeader_.height; }
    std::uint64_t numPlanes() const { return bitmapHeader_.numPlanes; }
    std::uint64_t numColors() const;
    bool isHAM() const { return (camgMode_ & kCamgHAM) != 0; }
    bool isEHB() const { return (camgMode_ & kCamgEHB) != 0; }
    const PlanarGeometry& geometry() const { return geometry_; }

    // Decoding state.
    const SharedMutableBytes& planarBuffer() const { return planarBuffer_; }
    const SharedMutableBytes& prevPlanarBuffer() const { return prevPlanarBuffer_; }
    std::int64_t lastDecodedFrame() const { return lastDecodedFrame_; }
    void setLastDecodedFrame(std::int64_t frame) { lastDecodedFrame_ = frame; }

    // Checkpoints: copies of both working buffers, kept every
    // checkpointInterval() frames so that a request can start from the
    // nearest copy or complete picture at or before its frame, whichever is
    // nearer, when that is nearer than the frame in hand. Decoding in order
    // never needs them, so none are kept until a request goes back to a frame
    // that only a replay of earlier deltas rebuilds: from that request on, each
    // grid frame decoding passes is copied, those of its own replay first. The
    // copies take at most checkpointMemoryLimit() bytes (0: none are kept);
    // setting the limit drops those held and spaces them anew.
    static constexpr std::uint64_t kDefaultCheckpointMemoryLimit = 64ull * 1024 * 1024;
    std::uint64_t checkpointMemoryLimit() const { return checkpointMemoryLimit_; }
    void setCheckpointMemoryLimit(std::uint64_t bytes);
    // Frames between two checkpoints; 0 when none are kept.
    std::uint64_t checkpointInterval() const { return checkpoints_.interval(); }
    // Bytes the checkpoints taken so far hold.
    std::uint64_t checkpointMemoryUsage() const { return checkpoints_.memoryUsage(); }

    // Frame delivery: the frame as a packed BGRA picture of width × height × 4 bytes.
    bool decodeFrameAtIndex(std::uint64_t index, std::uint8_t* bytes, std::uint64_t length, Error* error);
    bool decodeFrameAtIndex(std::uint64_t index, Bytes& buffer, Error* error);
    SharedMutableBytes decodeFrameAtIndex(std::uint64_t index, Error* error);
    // The same frame as it looks `cyclingElapsed` after colour cycling
    // started: the frame's own pixels through its colour map turned by the
    // ranges. Asking again for the frame in hand only converts it again.
    bool decodeFrameAtIndex(std::uint64_t index, const MediaTime& cyclingElapsed, std::uint8_t* bytes,
                            std::uint64_t length, Error* error);
    // A copy of the frame's BODY or DLTA bytes; none (and no error) without data.
    SharedBytes rawDataForFrameAtIndex(std::uint64_t index, Error* error) const;

    // Pipeline steps.
    void decodeKeyframe(const ANIMFrameInfo& frame);
    void decodeDeltaFrame(const ANIMFrameInfo& frame);
    // With a cycling time, the colour map is first turned by the ranges as they stand then.
    void planarToBGRABytes(std::uint8_t* destination, const SharedBytes& colorMap,
                           const MediaTime* cyclingElapsed = nullptr) const;

    // Delta decoders: apply one DLTA chunk to the buffer the frame's
    // interleave selects. Damaged data ends the frame early and keeps what
    // was written.
    void decodeANIM23Delta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                           std::uint64_t wordSize);
    void decodeANIM4GeneralDelta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                                 std::uint32_t bits);
    void decodeANIM5Delta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                          std::uint32_t bits);
    void decodeANIM7DeltaLong(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame);
    void decodeANIM7DeltaShort(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame);
    void decodeANIM8Delta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                          std::uint64_t wordSize);
    void decodeANIM8DeltaLong(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame);
    void decodeANIM8DeltaShort(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame);
    void decodeANIMJDelta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame);

    // The lock that users sharing this parser hold around each frame request.
    std::recursive_mutex& lock() const { return lock_; }

    // Largest working buffer or BGRA frame a file may ask for. Amiga pictures
    // are far smaller; the cap keeps a damaged header from exhausting memory.
    static constexpr std::uint64_t kMaxPictureBytes = 256ull * 1024 * 1024;

    static constexpr std::uint32_t kCamgHAM = 0x800;
    static constexpr std::uint32_t kCamgEHB = 0x80;

private:
    bool decodeFrame(std::uint64_t index, const MediaTime* cyclingElapsed, std::uint8_t* bytes, std::uint64_t length,
                     Error* error);
    // Keeps a colour-cycling range read from a CRNG, CCRT or DRNG chunk.
    void keepColourRange(std::uint32_t identifier, const std::uint8_t* data, std::uint32_t size);
    // Keeps a text chunk's bytes when the chunk is one of ANIMTexts' kinds.
    void keepText(std::uint32_t identifier, const std::uint8_t* data, std::uint32_t size);
    void parseILBMAtOffset(std::uint64_t offset, std::uint64_t length, std::uint64_t frameIndex, bool isFirstILBM,
                           MediaTime& currentTime, const std::uint8_t* bytes, std::uint64_t fileLength);
    // The frame at which rebuilding frame `index` can start: frame 0 or the
    // nearest complete picture at or before it.
    std::uint64_t restartFrameFor(std::uint64_t index) const;
    // Readies the working buffers for decoding forward to `index`: keeps the
    // frame in hand or restarts at the nearest checkpoint or complete picture.
    void prepareToDecode(std::uint64_t index);
    void planCheckpoints();
    void resetDecodingState();
    // The buffer a delta writes into: the frame two back (interleave 0) or the previous one.
    PlanarBitmap deltaTarget(const ANIMFrameInfo& frame);

    SharedBytes fileData_;
    ANIMBitmapHeader bitmapHeader_;
    SharedBytes colorMap_;
    std::uint32_t camgMode_ = 0;
    std::uint8_t dpanSpeed_ = 0;
    ANIMTexts texts_;
    std::vector<ColourRange> colourRanges_;
    std::vector<ANIMFrameInfoRef> frames_;
    std::vector<std::uint64_t> keyframeIndices_;  // frames holding a complete picture, ascending
    MediaTime totalDuration_ = MediaTime::zero();
    bool endsEarly_ = false;
    PlanarGeometry geometry_;

    SharedMutableBytes planarBuffer_;
    SharedMutableBytes prevPlanarBuffer_;
    std::int64_t lastDecodedFrame_ = -1;
    std::uint64_t checkpointMemoryLimit_ = kDefaultCheckpointMemoryLimit;
    bool keepsCheckpoints_ = false;
    FrameCheckpoints checkpoints_;

    mutable std::recursive_mutex lock_;
};

}  // namespace velarium
