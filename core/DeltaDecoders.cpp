// The parser's delta decoder entry points. Each chooses the target buffer
// by the frame's interleave and hands the chunk to its decoder.
#include "core/ANIMParser.h"
#include "core/deltas/DeltaDecoding.h"

namespace velarium {
namespace {

constexpr std::size_t kShortWord = 2;
constexpr std::size_t kLongWord = 4;

bool exclusiveOr(std::uint32_t bits) { return (bits & kDeltaBitExclusiveOr) != 0; }

}  // namespace

void ANIMParser::decodeANIM23Delta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                                   std::uint64_t wordSize) {
    decodeLongShortDelta(data, length, deltaTarget(frame), wordSize);
}

void ANIMParser::decodeANIM4GeneralDelta(const std::uint8_t* data, std::uint32_t length,
                                         const ANIMFrameInfo& frame, std::uint32_t bits) {
    decodeGeneralDelta(data, length, deltaTarget(frame), bits);
}

void ANIMParser::decodeANIM5Delta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                                  std::uint32_t bits) {
    decodeByteVerticalDelta(data, length, deltaTarget(frame), exclusiveOr(bits));
}

void ANIMParser::decodeANIM7DeltaLong(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame) {
    decodeVerticalDelta7(data, length, deltaTarget(frame), kLongWord, exclusiveOr(frame.bits));
}

void ANIMParser::decodeANIM7DeltaShort(const std::uint8_t* data, std::uint32_t length,
                                       const ANIMFrameInfo& frame) {
    decodeVerticalDelta7(data, length, deltaTarget(frame), kShortWord, exclusiveOr(frame.bits));
}

void ANIMParser::decodeANIM8Delta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame,
                                  std::uint64_t wordSize) {
    decodeVerticalDelta8(data, length, deltaTarget(frame), wordSize, exclusiveOr(frame.bits));
}

void ANIMParser::decodeANIM8DeltaLong(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame) {
    decodeANIM8Delta(data, length, frame, kLongWord);
}

void ANIMParser::decodeANIM8DeltaShort(const std::uint8_t* data, std::uint32_t length,
                                       const ANIMFrameInfo& frame) {
    decodeANIM8Delta(data, length, frame, kShortWord);
}

void ANIMParser::decodeANIMJDelta(const std::uint8_t* data, std::uint32_t length, const ANIMFrameInfo& frame) {
    decodeEricGrahamDelta(data, length, deltaTarget(frame));
}

}  // namespace velarium
