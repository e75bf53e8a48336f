// Vertical delta in one list of words: XOR (which no corpus animation uses),
// narrow pictures, runs past the bottom, damaged lists. The corpus's ANIM-8
// animations cover the well-formed short and long forms.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// 32×4 short: column 0 has two literal words, a skip of one row and a same
// run of one; column 1 has no operations.
const ByteVector kShortList = w16({3, 0x8002, 0xA1A2, 0xB1B2, 0x0001, 0x0000, 1, 0xC1C2, 0});

std::vector<DeltaCase> cases() {
    return {
        {"ExclusiveOrChangesBitsInsteadOfStoring", 32, 4, 1, 2, DeltaChunk(1).list(0, kShortList).bytes(),
         join({column(0, 0, 0, {0x5E, 0x4E}), column(0, 0, 1, {0x5D, 0x4D}), rowBytes(0, 3, 0, {0x3E, 0x3D})}),
         0xFF, true},
        {"LiteralPastTheBottomIsDroppedAndTheListReadsOn", 32, 4, 1, 2,
         DeltaChunk(1).list(0, w16({2, 3, 0x8002, 0x1112, 0x2122, 1, 0x8001, 0x3132})).bytes(),
         join({rowBytes(0, 3, 0, {0x11, 0x12}), rowBytes(0, 0, 2, {0x31, 0x32})})},
        {"HugeLongSameRunAndSkipStopAtTheBottom", 64, 4, 1, 4,
         DeltaChunk(1).list(0, w32({2, 0, 0x7FFFFFFF, 0x5A5A5A5A, 0x7FFFFFFF, 1, 0x80000001, 0x11111111})).bytes(),
         [] {
             std::vector<ByteAt> out;
             for (std::size_t r = 0; r < 4; ++r)
                 for (std::size_t b = 0; b < 4; ++b) out.push_back({0, r, b, 0x5A});
             for (std::size_t b = 4; b < 8; ++b) out.push_back({0, 0, b, 0x11});
             return out;
         }()},
        {"NarrowPictureStillHasOneColumn", 12, 2, 1, 2,
         DeltaChunk(1).list(0, w16({1, 0x8002, 0x1112, 0x2122})).bytes(), join({rowBytes(0, 0, 0, {0x11, 0x12}), rowBytes(0, 1, 0, {0x21, 0x22})})},
        {"TruncatedLiteralStopsTheFrameKeepingEarlierWords", 32, 4, 2, 2,
         DeltaChunk(2).list(1, w16({1, 0x8001, 0x3132, 0})).list(0, w16({1, 0x8003, 0x1112, 0x2122})).bytes(),
         join({column(0, 0, 0, {0x11, 0x21}), column(0, 0, 1, {0x12, 0x22})})},
        {"PointerZeroSkipsAndPointerPastTheChunkStops", 32, 4, 3, 2,
         DeltaChunk(3).list(1, w16({1, 0x8001, 0x3132, 0})).setEntry(2, 0x400).bytes(),
         rowBytes(1, 0, 0, {0x31, 0x32})},
        {"TableShorterThanThePlanesChangesNothing", 32, 4, 2, 2, ByteVector{0, 0, 0, 8, 0, 1, 0x80, 1},
         {}},
    };
}

TEST(VerticalDelta8, WritesExactlyTheExpectedBytes) {
    expectChangedBytes(cases(), [](const DeltaCase& c, auto data, auto length, auto bitmap) {
        decodeVerticalDelta8(data, length, bitmap, c.option, c.exclusiveOr);
    });
}

}  // namespace
}  // namespace velarium
