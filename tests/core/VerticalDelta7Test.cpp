// Vertical delta with separate opcode and data lists: runs that leave the
// column, damaged lists.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

constexpr std::size_t kTableEntries = 16;  // 8 opcode pointers, 8 data pointers
constexpr std::size_t kData = 8;           // entry of plane 0's data list

ByteVector plane0(const ByteVector& ops, const ByteVector& data) {
    return DeltaChunk(kTableEntries).list(0, ops).list(kData, data).bytes();
}

// Damaged and edge-case lists; the corpus's ANIM-7 animations cover the
// well-formed ones: short and long words, XOR, odd word counts. 32×4 short:
// two columns.
std::vector<DeltaCase> cases() {
    return {
        {"SameRunOfZeroRowsStillConsumesItsWord", 32, 4, 1, 2,
         plane0({2, 0x00, 0, 0x81, 0}, w16({0x1111, 0x2222})), rowBytes(0, 0, 0, {0x22, 0x22})},
        {"LiteralsBelowTheColumnAreDroppedButConsumed", 32, 4, 1, 2,
         plane0({2, 0x03, 0x82, 1, 0x81}, w16({0x1111, 0x2222, 0x3333})),
         join({rowBytes(0, 3, 0, {0x11, 0x11}), rowBytes(0, 0, 2, {0x33, 0x33})})},
        {"OpcodePointerZeroSkipsThePlane", 32, 4, 2, 2,
         DeltaChunk(kTableEntries).list(kData, w16({0x1111})).list(1, {1, 0x81, 0}).list(kData + 1, w16({0x2222}))
             .bytes(),
         rowBytes(1, 0, 0, {0x22, 0x22})},
        {"DataPointerPastTheChunkStops", 32, 4, 2, 2,
         DeltaChunk(kTableEntries).list(0, {1, 0x81, 0}).list(kData, w16({0x1111})).list(1, {1, 0x81, 0})
             .setEntry(kData + 1, 0x1000).bytes(),
         rowBytes(0, 0, 0, {0x11, 0x11})},
        {"MissingDataWordStopsKeepingEarlierWrites", 32, 4, 1, 2, plane0({1, 0x83}, w16({0x1111, 0x2222})),
         join({column(0, 0, 0, {0x11, 0x22}), column(0, 0, 1, {0x11, 0x22})})},
        {"OpcodesEndingInsideAColumnStop", 32, 4, 1, 2,
         DeltaChunk(kTableEntries).list(kData, w16({0x1111})).list(0, {3, 0x81}).bytes(), rowBytes(0, 0, 0, {0x11, 0x11})},
        {"ChunkShorterThanTheTableChangesNothing", 32, 4, 1, 2, ByteVector(35, 0x81), {}},
    };
}

TEST(VerticalDelta7, WritesExactlyTheExpectedBytes) {
    expectChangedBytes(cases(), [](const DeltaCase& c, auto data, auto length, auto bitmap) {
        decodeVerticalDelta7(data, length, bitmap, c.option, c.exclusiveOr);
    });
}

}  // namespace
}  // namespace velarium
