// General delta: runs that leave the plane or the column, damaged lists.
#include "core/deltas/DeltaDecoding.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

constexpr std::size_t kTableEntries = 16;  // 8 data pointers, 8 info pointers
constexpr std::size_t kInfo = 8;           // entry of plane 0's info list
constexpr unsigned kHalved = 2;

// Plane 0 with one data list and one info list.
ByteVector plane0(const ByteVector& data, const ByteVector& info) {
    return DeltaChunk(kTableEntries, kHalved).list(0, data).list(kInfo, info).bytes();
}

// Damaged and edge-case lists; the corpus's ANIM-4 and ANIM-l animations
// cover the well-formed ones and each option bit they use.
std::vector<DeltaCase> cases() {
    return {
        // 32×4: row bytes 4, plane size 16.
        {"CountZeroWritesNothing", 32, 4, 1, 0, plane0(w16({0x5555}), w16({0, 0, 1, 1, 0xFFFF})),
         rowBytes(0, 0, 2, {0x55, 0x55})},
        {"ElementsPastThePlaneAreDroppedButConsumed", 32, 4, 1, 0,
         plane0(w16({0x1111, 0x2222, 0x3333, 0x4444}), w16({7, 3, 0, 1, 0xFFFF})),
         join({rowBytes(0, 0, 0, {0x44, 0x44}), rowBytes(0, 3, 2, {0x11, 0x11})})},
        {"HugeVerticalRepeatStopsAtTheBottom", 32, 4, 1, 0x30,
         plane0(w16({0x5A5A}), w32({1, 0x80000001, 0xFFFFFFFF})), join({column(0, 0, 2, {0x5A, 0x5A, 0x5A, 0x5A}), column(0, 0, 3, {0x5A, 0x5A, 0x5A, 0x5A})})},
        {"StartPastThePlaneStops", 32, 4, 2, 0,
         DeltaChunk(kTableEntries, kHalved)
             .list(0, w16({0x1111, 0x2222}))
             .list(kInfo, w16({0, 1, 8, 1, 0xFFFF}))
             .list(1, w16({0x3333}))
             .list(kInfo + 1, w16({0, 1, 0xFFFF}))
             .bytes(),
         rowBytes(0, 0, 0, {0x11, 0x11})},
        {"TruncatedDataStopsKeepingEarlierElements", 32, 4, 2, 0,
         DeltaChunk(kTableEntries, kHalved)
             .list(kInfo, w16({0, 2, 0xFFFF}))
             .list(1, w16({0x3333}))
             .list(kInfo + 1, w16({0, 1, 0xFFFF}))
             .list(0, w16({0x1111}))
             .bytes(),
         rowBytes(0, 0, 0, {0x11, 0x11})},
        {"EitherPointerZeroSkipsThePlane", 32, 4, 2, 0,
         DeltaChunk(kTableEntries, kHalved)
             .list(0, w16({0x1111}))
             .list(1, w16({0x2222}))
             .list(kInfo + 1, w16({0, 1, 0xFFFF}))
             .bytes(),
         rowBytes(1, 0, 0, {0x22, 0x22})},
        // 48 pixels: row bytes 6, so a long element at byte 4 has only two bytes in its row.
        {"VerticalLongElementsStayInsideTheirRow", 48, 2, 1, 0x11,
         plane0(w32({0xA1A2A3A4, 0xB1B2B3B4}), w16({1, 2, 0xFFFF})),
         join({rowBytes(0, 0, 4, {0xA1, 0xA2}), rowBytes(0, 1, 4, {0xB1, 0xB2})})},
        {"ChunkShorterThanTheTableChangesNothing", 32, 4, 1, 0, ByteVector(63, 1), {}},
    };
}

TEST(GeneralDelta, WritesExactlyTheExpectedBytes) {
    expectChangedBytes(cases(), [](const DeltaCase& c, auto data, auto length, auto bitmap) {
        decodeGeneralDelta(data, length, bitmap, c.option);
    });
}

}  // namespace
}  // namespace velarium
