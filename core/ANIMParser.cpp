// Container parsing: walks the IFF chunks of an ANIM file and builds the frame table.
#include "core/ANIMParser.h"

#include <algorithm>

#include "core/BigEndian.h"
#include "platform/foundation/SystemLog.h"

namespace velarium {
namespace {

constexpr std::uint64_t kHeaderSize = 12;     // "FORM", size, "ANIM"
constexpr std::uint64_t kChunkHeaderSize = 8; // identifier, size
constexpr std::uint32_t kANHDMinSize = 24;
constexpr std::uint32_t kCAMGMinSize = 4;
constexpr std::uint32_t kDPANMinSize = 8;
constexpr std::int32_t kTicksPerSecond = 60;

// ANHD field offsets.
constexpr std::size_t kANHDOperation = 0;
constexpr std::size_t kANHDRelTime = 14;
constexpr std::size_t kANHDInterleave = 18;
constexpr std::size_t kANHDBits = 20;
constexpr std::size_t kDPANSpeed = 4;

// The next chunk starts after the data and its pad byte when the size is odd.
inline std::uint64_t nextChunk(std::uint64_t offset, std::uint32_t size) {
    return offset + kChunkHeaderSize + size + (size & 1);
}

}  // namespace

ANIMParser::ANIMParser(SharedBytes data) : fileData_(std::move(data)) {
    if (!fileData_) fileData_ = makeSharedBytes(Bytes{});
}

std::uint64_t ANIMParser::numColors() const {
    return bitmapHeader_.numPlanes == 0 ? 1 : std::uint64_t(1) << std::min<unsigned>(bitmapHeader_.numPlanes, 63);
}

bool ANIMParser::parseWithError(Error* error) {
    const std::uint8_t* bytes = fileData_->data();
    const std::uint64_t length = fileData_->size();
    if (length < kHeaderSize)
        return fail(error, Error(kANIMParserErrorDomain, kANIMParserErrorFileTooSmall, "File too small"));
    if (readU32BE(bytes) != fourCC("FORM") || readU32BE(bytes + 8) != fourCC("ANIM"))
        return fail(error, Error(kANIMParserErrorDomain, kANIMParserErrorNotANIM, "Not an IFF ANIM file"));

    MediaTime currentTime = MediaTime::zero();
    std::uint64_t frameIndex = frames_.size();
    bool isFirstILBM = frames_.empty();
    // The outer FORM's size is not trusted: the scan runs to the end of the
    // bytes. It does tell a cut-off file from one with junk after its end:
    // only a chunk that starts inside the FORM and runs past the last byte
    // means the file ends early.
    const std::uint64_t declaredEnd = kChunkHeaderSize + std::uint64_t(readU32BE(bytes + 4));
    for (std::uint64_t p = kHeaderSize; p + kChunkHeaderSize <= length;) {
        const std::uint32_t size = readU32BE(bytes + p + 4);
        if (p < declaredEnd && p + kChunkHeaderSize + size > length) endsEarly_ = true;
        if (readU32BE(bytes + p) == fourCC("FORM") && size >= 4 && p + 12 <= length &&
            readU32BE(bytes + p + 8) == fourCC("ILBM")) {
            parseILBMAtOffset(p + 12, size - 4, frameIndex, isFirstILBM, currentTime, bytes, length);
            ++frameIndex;
            isFirstILBM = false;
        } else if (p + kChunkHeaderSize + size <= length) {
            keepText(readU32BE(bytes + p), bytes + p + kChunkHeaderSize, size);
        }
        p = nextChunk(p, size);
    }
    totalDuration_ = currentTime;

    geometry_ = PlanarGeometry(bitmapHeader_.width, bitmapHeader_.height, bitmapHeader_.numPlanes);
    if (geometry_.bufferSize() > kMaxPictureBytes || width() * height() * 4 > kMaxPictureBytes) {
        frames_.clear();
        geometry_ = PlanarGeometry();
        planCheckpoints();
        return fail(error, Error(kANIMParserErrorDomain, kANIMParserErrorPictureTooLarge, "Picture too large"));
    }
    planarBuffer_ = std::make_shared<Bytes>(geometry_.bufferSize(), 0);
    prevPlanarBuffer_ = std::make_shared<Bytes>(geometry_.bufferSize(), 0);
    lastDecodedFrame_ = -1;

    keyframeIndices_.clear();
    for (const auto& frame : frames_)
        if (frame->isKeyframe && frame->dataLength > 0) keyframeIndices_.push_back(frame->frameIndex);
    planCheckpoints();

    return !frames_.empty();
}

bool ANIMParser::cyclesColours() const {
    return std::any_of(colourRanges_.begin(), colourRanges_.end(), [](const ColourRange& r) { return r.cycles(); });
}

void ANIMParser::keepColourRange(std::uint32_t identifier, const std::uint8_t* data, std::uint32_t size) {
    ColourRange range;
    const bool read = identifier == fourCC("CRNG")   ? readCRNG(data, size, range)
                      : identifier == fourCC("CCRT") ? readCCRT(data, size, range)
                                                     : readDRNG(data, size, range);
    if (read) colourRanges_.push_back(std::move(range));
}

void ANIMParser::keepText(std::uint32_t identifier, const std::uint8_t* data, std::uint32_t size) {
    std::string* text = identifier == fourCC("ANNO")   ? &texts_.annotation
                        : identifier == fourCC("AUTH") ? &texts_.author
                        : identifier == fourCC("NAME") ? &texts_.name
                        : identifier == fourCC("(c) ") ? &texts_.copyright
                                                       : nullptr;
    if (!text || !text->empty()) return;
    text->assign(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, ANIMTexts::kMaxBytes));
}

void ANIMParser::parseILBMAtOffset(std::uint64_t offset, std::uint64_t length, std::uint64_t frameIndex,
                                   bool isFirstILBM, MediaTime& currentTime, const std::uint8_t* bytes,
                                   std::uint64_t fileLength) {
    auto frame = std::make_shared<ANIMFrameInfo>();
    frame->frameIndex = frameIndex;
    frame->isKeyframe = isFirstILBM;
    if (!frames_.empty()) frame->colorMap = frames_.back()->colorMap;

    std::uint32_t ticks = 1;
    const std::uint64_t end = std::min(offset + length, fileLength);
    for (std::uint64_t q = offset; q + kChunkHeaderSize <= end; ) {
        const std::uint32_t size = readU32BE(bytes + q + 4);
        if (q + kChunkHeaderSize + size > fileLength) break;  // a chunk cut off by the end of the file
        const std::uint8_t* data = bytes + q + kChunkHeaderSize;
        const std::uint64_t dataOffset = q + kChunkHeaderSize;

        switch (readU32BE(bytes + q)) {
            case fourCC("BMHD"):
                if (isFirstILBM && size >= ANIMBitmapHeader::kChunkSize)
                    bitmapHeader_ = ANIMBitmapHeader::fromChunk(data);
                break;
            case fourCC("CMAP"):
                frame->colorMap = makeSharedBytes(data, size);
                if (isFirstILBM) colorMap_ = frame->colorMap;
                break;
            case fourCC("CAMG"):
                if (isFirstILBM && size >= kCAMGMinSize) camgMode_ = readU32BE(data);
                break;
            case fourCC("ANHD"):
                if (size >= kANHDMinSize) {
                    frame->operation = data[kANHDOperation];
                    frame->relTime = readU32BE(data + kANHDRelTime);
                    frame->interleave = data[kANHDInterleave] == 1 ? 1 : 0;
                    frame->bits = readU32BE(data + kANHDBits);
                    ticks = frame->relTime == 0 ? 1 : frame->relTime;
                }
                break;
            case fourCC("BODY"):
                // A BODY is a complete picture in any frame, not only the first.
                frame->dataOffset = dataOffset;
                frame->dataLength = size;
                frame->isKeyframe = true;
                frame->operation = 0;
                break;
            case fourCC("DLTA"):
                frame->dataOffset = dataOffset;
                frame->dataLength = size;
                frame->isKeyframe = false;
                break;
            case fourCC("DPAN"):
                if (size >= kDPANMinSize) dpanSpeed_ = data[kDPANSpeed];
                break;
            case fourCC("CRNG"):
            case fourCC("CCRT"):
            case fourCC("DRNG"):
                if (isFirstILBM) keepColourRange(readU32BE(bytes + q), data, size);
                break;
            case fourCC("DPPS"):
                systemLog(" - DPPS");
                break;
            default:
                keepText(readU32BE(bytes + q), data, size);
                break;
        }
        q = nextChunk(q, size);
    }

    frame->duration = (dpanSpeed_ != 0 && ticks <= 1) ? MediaTime::make(1, dpanSpeed_)
                                                      : MediaTime::make(ticks, kTicksPerSecond);
    frame->decodeTime = currentTime;
    frame->presentationTime = currentTime;
    currentTime = currentTime + frame->duration;
    frames_.push_back(std::move(frame));
}

}  // namespace velarium
