// Frame delivery: rebuilds frames in the two planar working buffers and
// converts the requested one to BGRA.
#include <algorithm>
#include <cstring>
#include <optional>

#include "core/ANIMParser.h"
#include "core/BodyDecoder.h"
#include "core/PlanarToBGRA.h"
#include "platform/foundation/SystemLog.h"

namespace velarium {
namespace {

// Delta operations (ANHD byte 0).
enum DeltaOperation : std::uint8_t {
    kOpLongDelta = 2,
    kOpShortDelta = 3,
    kOpGeneralDelta = 4,
    kOpByteVertical = 5,
    kOpVerticalSeparate = 7,
    kOpVerticalWords = 8,
    kOpEricGraham = 'J',
    kOpVerticalShortL = 'l',
};

constexpr std::uint32_t kBitLongData = 1u << 0;      // ANIM-7/8: 32-bit words
constexpr std::uint32_t kBitsANIMl = 1u << 4;        // ANIM-l: vertical, 16-bit, stored

Error frameIndexError() {
    return Error(kANIMParserErrorDomain, kANIMParserErrorFrameIndexOutOfRange, "Frame index out of range");
}

}  // namespace

bool ANIMParser::decodeFrameAtIndex(std::uint64_t index, std::uint8_t* bytes, std::uint64_t length,
                                    Error* error) {
    return decodeFrame(index, nullptr, bytes, length, error);
}

bool ANIMParser::decodeFrameAtIndex(std::uint64_t index, const MediaTime& cyclingElapsed, std::uint8_t* bytes,
                                    std::uint64_t length, Error* error) {
    return decodeFrame(index, &cyclingElapsed, bytes, length, error);
}

bool ANIMParser::decodeFrame(std::uint64_t index, const MediaTime* cyclingElapsed, std::uint8_t* bytes,
                             std::uint64_t length, Error* error) {
    if (index >= numFrames()) return fail(error, frameIndexError());
    if (!bytes || length < width() * height() * 4)
        return fail(error, Error(kANIMParserErrorDomain, kANIMParserErrorDestinationTooSmall,
                                 "Destination buffer too small for frame"));

    prepareToDecode(index);
    for (std::uint64_t i = static_cast<std::uint64_t>(lastDecodedFrame_ + 1); i <= index; ++i) {
        const ANIMFrameInfo& frame = *frames_[i];
        if (frame.isKeyframe) {
            decodeKeyframe(frame);
        } else {
            decodeDeltaFrame(frame);
            // A complete picture is a restart point of its own and needs no copy.
            if (checkpoints_.wants(i)) checkpoints_.save(i, *planarBuffer_, *prevPlanarBuffer_);
        }
        lastDecodedFrame_ = static_cast<std::int64_t>(i);
    }

    const SharedBytes& frameColors = frames_[index]->colorMap;
    planarToBGRABytes(bytes, frameColors ? frameColors : colorMap_, cyclingElapsed);
    return true;
}

bool ANIMParser::decodeFrameAtIndex(std::uint64_t index, Bytes& buffer, Error* error) {
    return decodeFrameAtIndex(index, buffer.data(), buffer.size(), error);
}

SharedMutableBytes ANIMParser::decodeFrameAtIndex(std::uint64_t index, Error* error) {
    if (index >= numFrames()) {
        fail(error, frameIndexError());
        return nullptr;
    }
    auto buffer = std::make_shared<Bytes>(width() * height() * 4, 0);
    if (!decodeFrameAtIndex(index, *buffer, error)) return nullptr;
    return buffer;
}

SharedBytes ANIMParser::rawDataForFrameAtIndex(std::uint64_t index, Error* error) const {
    if (index >= numFrames()) {
        fail(error, frameIndexError());
        return nullptr;
    }
    const ANIMFrameInfo& frame = *frames_[index];
    if (frame.dataLength == 0) return nullptr;
    return makeSharedBytes(fileData_->data() + frame.dataOffset, frame.dataLength);
}

std::uint64_t ANIMParser::restartFrameFor(std::uint64_t index) const {
    auto after = std::upper_bound(keyframeIndices_.begin(), keyframeIndices_.end(), index);
    return after == keyframeIndices_.begin() ? 0 : *(after - 1);
}

void ANIMParser::prepareToDecode(std::uint64_t index) {
    const std::uint64_t picture = restartFrameFor(index);
    // Going back to a frame that needs earlier deltas replayed is what a
    // seeking host does; a player looping to a complete picture, or a reader
    // going forward, never pays for copies.
    if (!keepsCheckpoints_ && picture < index && static_cast<std::int64_t>(index) < lastDecodedFrame_) {
        keepsCheckpoints_ = true;
        planCheckpoints();
    }

    // Each start is counted as the last frame it leaves done: a complete
    // picture at k leaves k - 1 (its BODY is decoded next), a checkpoint its own frame.
    const std::int64_t afterPicture = static_cast<std::int64_t>(picture) - 1;
    const std::optional<std::uint64_t> checkpoint = checkpoints_.latestAtOrBefore(index);
    const bool fromCheckpoint = checkpoint && static_cast<std::int64_t>(*checkpoint) > afterPicture;
    const std::int64_t start = fromCheckpoint ? static_cast<std::int64_t>(*checkpoint) : afterPicture;

    // The frame in hand serves when no start lies between it and the target.
    if (lastDecodedFrame_ >= start && lastDecodedFrame_ >= 0 && lastDecodedFrame_ <= static_cast<std::int64_t>(index))
        return;
    if (fromCheckpoint) {
        checkpoints_.restore(*checkpoint, *planarBuffer_, *prevPlanarBuffer_);
    } else if (picture == 0) {
        resetDecodingState();  // frame 0 may have no picture and then draws on clean buffers
    }
    lastDecodedFrame_ = start;
}

void ANIMParser::setCheckpointMemoryLimit(std::uint64_t bytes) {
    checkpointMemoryLimit_ = bytes;
    planCheckpoints();
}

void ANIMParser::planCheckpoints() {
    checkpoints_.plan(numFrames(), geometry_.bufferSize(), keepsCheckpoints_ ? checkpointMemoryLimit_ : 0);
}

void ANIMParser::resetDecodingState() {
    std::fill(planarBuffer_->begin(), planarBuffer_->end(), 0);
    std::fill(prevPlanarBuffer_->begin(), prevPlanarBuffer_->end(), 0);
    lastDecodedFrame_ = -1;
}

void ANIMParser::decodeKeyframe(const ANIMFrameInfo& frame) {
    if (frame.dataLength == 0) return;
    // A complete picture owes nothing to earlier frames, so rebuilding from
    // it gives the same result however the parser got here.
    std::fill(planarBuffer_->begin(), planarBuffer_->end(), 0);
    decodeBody(fileData_->data() + frame.dataOffset, frame.dataLength, bitmapHeader_.compression,
               bitmapHeader_.masking, PlanarBitmap(planarBuffer_->data(), geometry_));
    std::copy(planarBuffer_->begin(), planarBuffer_->end(), prevPlanarBuffer_->begin());
}

void ANIMParser::decodeDeltaFrame(const ANIMFrameInfo& frame) {
    if (frame.dataLength == 0) return;
    const std::uint8_t* data = fileData_->data() + frame.dataOffset;
    const std::uint32_t length = frame.dataLength;
    switch (frame.operation) {
        case kOpLongDelta: decodeANIM23Delta(data, length, frame, 4); break;
        case kOpShortDelta: decodeANIM23Delta(data, length, frame, 2); break;
        case kOpGeneralDelta: decodeANIM4GeneralDelta(data, length, frame, frame.bits); break;
        case kOpByteVertical: decodeANIM5Delta(data, length, frame, frame.bits); break;
        case kOpVerticalSeparate:
            if (frame.bits & kBitLongData)
                decodeANIM7DeltaLong(data, length, frame);
            else
                decodeANIM7DeltaShort(data, length, frame);
            break;
        case kOpVerticalWords:
            if (frame.bits & kBitLongData)
                decodeANIM8DeltaLong(data, length, frame);
            else
                decodeANIM8DeltaShort(data, length, frame);
            break;
        case kOpEricGraham: decodeANIMJDelta(data, length, frame); break;
        case kOpVerticalShortL: decodeANIM4GeneralDelta(data, length, frame, kBitsANIMl); break;
        default:
            systemLog("ANIMParser: Unsupported delta operation %d at frame %lu", frame.operation,
                      static_cast<unsigned long>(frame.frameIndex));
            break;
    }
    if (frame.interleave == 0) std::swap(planarBuffer_, prevPlanarBuffer_);
}

PlanarBitmap ANIMParser::deltaTarget(const ANIMFrameInfo& frame) {
    Bytes& buffer = frame.interleave == 0 ? *prevPlanarBuffer_ : *planarBuffer_;
    return PlanarBitmap(buffer.data(), geometry_);
}

void ANIMParser::planarToBGRABytes(std::uint8_t* destination, const SharedBytes& colorMap,
                                   const MediaTime* cyclingElapsed) const {
    ColourMode mode;
    mode.ham = isHAM();
    mode.ehb = isEHB();
    if (bitmapHeader_.masking == kMaskingHasTransparentColor) mode.transparentColor = bitmapHeader_.transparentColor;
    ColourTable colours =
        makeColourTable(colorMap ? colorMap->data() : nullptr, colorMap ? colorMap->size() : 0, mode.ehb);
    // Cycling turns registers, not shown colours: HAM then holds the turned
    // base colours, and equal colours in two registers stay apart.
    if (cyclingElapsed) cycleColourTable(colours, colourRanges_, *cyclingElapsed, mode.ehb);
    convertPlanarToBGRA(planarBuffer_->data(), geometry_, mode, colours, destination);
}

}  // namespace velarium
