// The key-frame and delta decoders on damaged and awkward data: ByteRun1,
// stored and mask rows; runs that leave the column, row or plane, pointers
// past the chunk or zero, truncated data, short tables. The corpus covers
// well-formed data, and XOR in every form but ANIM-8's, checked here.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "core/ANIMBitmapHeader.h"
#include "core/ANIMParser.h"
#include "core/BodyDecoder.h"
#include "core/deltas/DeltaDecoding.h"
#include "platform/foundation/SystemLog.h"
#include "support/IFFWriter.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// The corpus holds a BODY packed as one run-length stream across rows. Each
// case decodes into a 16-pixel-wide bitmap (2 bytes a plane row) pre-filled
// with 0xEE, so that untouched bytes show.
TEST(BodyDecoder, DecodesRowsAsOneStreamAndDiscardsMaskRows) {
    constexpr auto kByteRun1 = kCompressionByteRun1;
    constexpr auto kStored = kCompressionNone;
    const ByteVector twoRowsTwoPlanes = {1, 2, 5, 6, 3, 4, 7, 8};
    const struct {
        const char* what;
        ByteVector body;
        std::size_t height, planes;
        std::uint8_t compression, masking;
        ByteVector expected;
    } cases[] = {
        {"no-op control is skipped", {0x80, 0x01, 1, 2, 0x80, 0xFF, 9}, 2, 1, kByteRun1, 0, {1, 2, 9, 9}},
        {"repeat crossing a row end continues in the next row", {0xFD, 5}, 2, 1, kByteRun1, 0, {5, 5, 5, 5}},
        // Read row at a time, the leftover 0x81 would be a control byte and garble the rest.
        {"leftover literal bytes are never control bytes", {0x04, 1, 2, 3, 4, 0x81, 0xFE, 9}, 4, 1, kByteRun1, 0,
         {1, 2, 3, 4, 0x81, 9, 9, 9}},
        {"repeat control without its value repeats zero", {0x01, 1, 2, 0xFF}, 2, 1, kByteRun1, 0, {1, 2, 0, 0}},
        {"data ending mid-row keeps what was written", {0x02, 1, 2, 3}, 2, 1, kByteRun1, 0, {1, 2, 3, 0xEE}},
        {"stored data fills whole rows until it runs out", {1, 2, 3, 4, 5, 6, 7}, 2, 2, kStored, 0,
         {1, 2, 5, 6, 3, 4, 0xEE, 0xEE}},
        // Each row: plane 0, plane 1, then a mask row of the same width.
        {"stored mask rows are discarded", {1, 2, 3, 4, 0xAA, 0xAA, 5, 6, 7, 8, 0xBB, 0xBB}, 2, 2, kStored,
         kMaskingHasMask, twoRowsTwoPlanes},
        {"packed mask rows are discarded", {0x03, 1, 2, 3, 4, 0xFF, 0xAA, 0x05, 5, 6, 7, 8, 0xBB, 0xBB}, 2, 2,
         kByteRun1, kMaskingHasMask, twoRowsTwoPlanes},
        {"a transparent colour (masking 2) adds no rows", {1, 2, 3, 4, 5, 6, 7, 8}, 2, 2, kStored, 2, twoRowsTwoPlanes},
    };
    for (const auto& c : cases) {
        const PlanarGeometry g(16, c.height, c.planes);
        ByteVector planar(g.bufferSize(), 0xEE);
        decodeBody(c.body.data(), c.body.size(), c.compression, c.masking, PlanarBitmap(planar.data(), g));
        EXPECT_EQ(planar, c.expected) << c.what;
    }
}

// A chunk that opens with a table of 32-bit pointers; each list appended is
// pointed to by one entry, its offset divided by `unit` (2 for halved pointers).
struct DeltaChunk {
    ByteVector bytes;
    unsigned unit;

    explicit DeltaChunk(std::size_t tableEntries, unsigned unit = 1) : bytes(4 * tableEntries, 0), unit(unit) {}
    DeltaChunk& list(std::size_t entry, const ByteVector& content) {
        bytes.resize((bytes.size() + unit - 1) / unit * unit);
        setEntry(entry, static_cast<std::uint32_t>(bytes.size() / unit));
        bytes.insert(bytes.end(), content.begin(), content.end());
        return *this;
    }
    DeltaChunk& setEntry(std::size_t entry, std::uint32_t value) {
        const ByteVector word = w32({value});
        std::copy(word.begin(), word.end(), bytes.begin() + 4 * entry);
        return *this;
    }
    operator ByteVector() const { return bytes; }
};

struct ByteAt {
    std::size_t plane, row, column;
    std::uint8_t value;
    bool operator==(const ByteAt&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ByteAt& b) {
    return out << "{plane " << b.plane << ", row " << b.row << ", byte " << b.column << ": 0x" << std::hex
               << unsigned(b.value) << std::dec << "}";
}

// Bytes of the given values written down a column, or along a row, from (plane, row, column).
using Written = std::vector<ByteAt>;
using Values = std::initializer_list<std::uint8_t>;
Written column(std::size_t plane, std::size_t row, std::size_t col, Values values) {
    Written out;
    for (auto v : values) out.push_back({plane, row++, col, v});
    return out;
}
Written rowBytes(std::size_t plane, std::size_t row, std::size_t col, Values values) {
    Written out;
    for (auto v : values) out.push_back({plane, row, col++, v});
    return out;
}

// `option` is the decoder's own argument (option bits or word size), `log`
// the lines the decoder must write.
struct DeltaCase {
    const char* name;
    std::size_t width, height, planes;
    std::uint32_t option;
    ByteVector chunk;
    std::vector<Written> expected;
    std::uint8_t fill = 0;
    bool exclusiveOr = false;
    std::vector<std::string> log = {};
};

// Decodes every case into a bitmap filled with the case's byte; exactly the
// expected bytes must no longer hold it.
template <typename Decode>
void expectChangedBytes(Decode decode, const std::vector<DeltaCase>& cases) {
    for (const DeltaCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        ScopedLogCapture capture([&](const std::string& line) { log.push_back(line); });
        const PlanarGeometry g(c.width, c.height, c.planes);
        std::vector<std::uint8_t> bytes(g.bufferSize(), c.fill);
        decode(c, c.chunk.data(), c.chunk.size(), PlanarBitmap(bytes.data(), g));
        Written changed, expected;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] != c.fill)
                changed.push_back({i / g.planeSize, i % g.planeSize / g.rowBytes, i % g.rowBytes, bytes[i]});
        for (const Written& run : c.expected) expected.insert(expected.end(), run.begin(), run.end());
        std::sort(expected.begin(), expected.end(), [](const ByteAt& a, const ByteAt& b) {  // into buffer order
            return std::tie(a.plane, a.row, a.column) < std::tie(b.plane, b.row, b.column);
        });
        EXPECT_EQ(changed, expected);
        EXPECT_EQ(log, c.log);
    }
}

// General delta (ANIM-4 and ANIM-l): 16 table entries, 8 data pointers then
// 8 info pointers, halved.
constexpr std::size_t kInfo = 8;
ByteVector generalPlane0(const ByteVector& data, const ByteVector& info) {
    return DeltaChunk(16, 2).list(0, data).list(kInfo, info);
}

// Vertical delta with separate opcode and data lists (ANIM-7): 8 opcode
// pointers, then 8 data pointers.
constexpr std::size_t kData = 8;
ByteVector verticalPlane0(const ByteVector& ops, const ByteVector& data) {
    return DeltaChunk(16).list(0, ops).list(kData, data);
}

// ANIM-J records, stored rather than XORed: headers of type 1 (type, XOR
// flag, rows, groups) and type 2 (type, XOR flag, rows, bytes, groups).
ByteVector columns(unsigned rows, unsigned groups) { return w16({1, 0, rows, groups}); }
ByteVector rectangles(unsigned rows, unsigned bytes, unsigned groups) { return w16({2, 0, rows, bytes, groups}); }
const ByteVector kEnd = w16({0});

TEST(DeltaDecoders, WriteExactlyTheExpectedBytes) {
    // Long and short delta (ANIM-2 and -3).
    expectChangedBytes([](auto& c, auto d, auto n, auto b) { decodeLongShortDelta(d, n, b, c.option); }, {
        {"RunFromFFFEStartsOneWordOnAndLeavesThePositionAtItsLastWord", 64, 2, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFE, 3, 0x1111, 0x2222, 0x3333, 1, 0x4444, 0xFFFF})),
         {rowBytes(0, 0, 2, {0x11, 0x11, 0x22, 0x22, 0x33, 0x33}), rowBytes(0, 1, 0, {0x44, 0x44})}},
        {"RunSkipsFFFEMinusItsValue", 64, 1, 1, 2, DeltaChunk(1).list(0, w16({0xFFFC, 1, 0x5555, 0xFFFF})),
         {rowBytes(0, 0, 6, {0x55, 0x55})}},
        {"RunWithCountZeroOnlyMovesThePosition", 64, 2, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFB, 0, 1, 0x6666, 0xFFFF})),
         {rowBytes(0, 1, 0, {0x66, 0x66})}},
        // A plane of 6 bytes holds one whole long word; words straddle rows.
        {"OnlyWholeWordsOfThePlaneAreAddressable", 16, 3, 2, 4,
         DeltaChunk(2).list(0, w16({0, 0xA1A2, 0xA3A4, 1, 0xB1B2, 0xB3B4, 0xFFFF}))
             .list(1, w16({0, 0xC1C2, 0xC3C4, 0xFFFF})),
         {rowBytes(0, 0, 0, {0xA1, 0xA2}), rowBytes(0, 1, 0, {0xA3, 0xA4})}},
        {"RunReachingPastTheLastWordStopsAfterTheWordsInside", 32, 1, 1, 2,
         DeltaChunk(1).list(0, w16({0xFFFE, 3, 0x1111, 0x2222, 0x3333})), {rowBytes(0, 0, 2, {0x11, 0x11})}},
        {"PointerZeroSkipsOnlyThatPlane", 32, 1, 2, 2, DeltaChunk(2).list(1, w16({1, 0x7777, 0xFFFF})),
         {rowBytes(1, 0, 2, {0x77, 0x77})}},
        {"PointerPastTheChunkStopsBeforeItsPlane", 32, 1, 3, 2,
         DeltaChunk(3).list(0, w16({0, 0x1111, 0xFFFF})).list(1, w16({0, 0x2222, 0xFFFF})).setEntry(2, 0x100),
         {rowBytes(0, 0, 0, {0x11, 0x11}), rowBytes(1, 0, 0, {0x22, 0x22})}},
        {"TruncatedWordStopsKeepingEarlierWrites", 64, 1, 2, 4,
         DeltaChunk(2).list(0, w16({0, 0x1111, 0x1111, 1, 0x2222})),
         {rowBytes(0, 0, 0, {0x11, 0x11, 0x11, 0x11})}},
        {"TableShorterThanThePlanesChangesNothing", 32, 1, 2, 2, w16({0, 4}), {}},
    });

    // General delta; 32×4: row bytes 4, plane size 16.
    expectChangedBytes([](auto& c, auto d, auto n, auto b) { decodeGeneralDelta(d, n, b, c.option); }, {
        {"CountZeroWritesNothing", 32, 4, 1, 0, generalPlane0(w16({0x5555}), w16({0, 0, 1, 1, 0xFFFF})),
         {rowBytes(0, 0, 2, {0x55, 0x55})}},
        {"ElementsPastThePlaneAreDroppedButConsumed", 32, 4, 1, 0,
         generalPlane0(w16({0x1111, 0x2222, 0x3333, 0x4444}), w16({7, 3, 0, 1, 0xFFFF})),
         {rowBytes(0, 0, 0, {0x44, 0x44}), rowBytes(0, 3, 2, {0x11, 0x11})}},
        {"HugeVerticalRepeatStopsAtTheBottom", 32, 4, 1, 0x30,
         generalPlane0(w16({0x5A5A}), w32({1, 0x80000001, 0xFFFFFFFF})),
         {column(0, 0, 2, {0x5A, 0x5A, 0x5A, 0x5A}), column(0, 0, 3, {0x5A, 0x5A, 0x5A, 0x5A})}},
        {"StartPastThePlaneStops", 32, 4, 2, 0,
         DeltaChunk(16, 2).list(0, w16({0x1111, 0x2222})).list(kInfo, w16({0, 1, 8, 1, 0xFFFF}))
             .list(1, w16({0x3333})).list(kInfo + 1, w16({0, 1, 0xFFFF})),
         {rowBytes(0, 0, 0, {0x11, 0x11})}},
        {"TruncatedDataStopsKeepingEarlierElements", 32, 4, 2, 0,
         DeltaChunk(16, 2).list(kInfo, w16({0, 2, 0xFFFF})).list(1, w16({0x3333}))
             .list(kInfo + 1, w16({0, 1, 0xFFFF})).list(0, w16({0x1111})),
         {rowBytes(0, 0, 0, {0x11, 0x11})}},
        {"EitherPointerZeroSkipsThePlane", 32, 4, 2, 0,
         DeltaChunk(16, 2).list(0, w16({0x1111})).list(1, w16({0x2222})).list(kInfo + 1, w16({0, 1, 0xFFFF})),
         {rowBytes(1, 0, 0, {0x22, 0x22})}},
        // 48 pixels: row bytes 6, so a long element at byte 4 has only two bytes in its row.
        {"VerticalLongElementsStayInsideTheirRow", 48, 2, 1, 0x11,
         generalPlane0(w32({0xA1A2A3A4, 0xB1B2B3B4}), w16({1, 2, 0xFFFF})),
         {rowBytes(0, 0, 4, {0xA1, 0xA2}), rowBytes(0, 1, 4, {0xB1, 0xB2})}},
        {"ChunkShorterThanTheTableChangesNothing", 32, 4, 1, 0, ByteVector(63, 1), {}},
    });

    // Byte vertical delta (ANIM-5). 24×4: three byte columns per row.
    expectChangedBytes([](auto& c, auto d, auto n, auto b) { decodeByteVerticalDelta(d, n, b, c.exclusiveOr); }, {
        {"WritesBelowTheLastRowAreDroppedAndTheirBytesConsumed", 24, 4, 1, 0,
         DeltaChunk(1).list(0, {2, 0x03, 0x83, 0xD1, 0xD2, 0xD3, 1, 0x81, 0xE1, 0}),
         {column(0, 3, 0, {0xD1}), column(0, 0, 1, {0xE1})}},
        {"SameRunIsCutAtTheLastRow", 24, 4, 1, 0, DeltaChunk(1).list(0, {2, 0x02, 0, 5, 0x77, 1, 0x81, 0x66, 0}),
         {column(0, 2, 0, {0x77, 0x77}), column(0, 0, 1, {0x66})}},
        {"TruncatedLiteralStopsTheFrameKeepingEarlierBytes", 24, 4, 2, 0,
         DeltaChunk(2).list(1, {1, 0x81, 0x22, 0, 0}).list(0, {1, 0x83, 0x11, 0x12}), {column(0, 0, 0, {0x11, 0x12})}},
        {"PointerPastTheChunkStopsAndPointerZeroSkips", 24, 4, 3, 0,
         DeltaChunk(3).list(1, {1, 0x81, 0x22, 0, 0}).setEntry(2, 0xFFFF), {column(1, 0, 0, {0x22})}},
        {"TableShorterThanThePlanesChangesNothing", 24, 4, 2, 0, {0, 0, 0, 4, 1, 0x81, 0x55}, {}},
    });

    // ANIM-7; 32×4 short: two columns.
    expectChangedBytes(
        [](auto& c, auto d, auto n, auto b) { decodeVerticalDelta7(d, n, b, c.option, c.exclusiveOr); }, {
        {"SameRunOfZeroRowsStillConsumesItsWord", 32, 4, 1, 2,
         verticalPlane0({2, 0x00, 0, 0x81, 0}, w16({0x1111, 0x2222})), {rowBytes(0, 0, 0, {0x22, 0x22})}},
        {"LiteralsBelowTheColumnAreDroppedButConsumed", 32, 4, 1, 2,
         verticalPlane0({2, 0x03, 0x82, 1, 0x81}, w16({0x1111, 0x2222, 0x3333})),
         {rowBytes(0, 3, 0, {0x11, 0x11}), rowBytes(0, 0, 2, {0x33, 0x33})}},
        {"OpcodePointerZeroSkipsThePlane", 32, 4, 2, 2,
         DeltaChunk(16).list(kData, w16({0x1111})).list(1, {1, 0x81, 0}).list(kData + 1, w16({0x2222})),
         {rowBytes(1, 0, 0, {0x22, 0x22})}},
        {"DataPointerPastTheChunkStops", 32, 4, 2, 2,
         DeltaChunk(16).list(0, {1, 0x81, 0}).list(kData, w16({0x1111})).list(1, {1, 0x81, 0})
             .setEntry(kData + 1, 0x1000),
         {rowBytes(0, 0, 0, {0x11, 0x11})}},
        {"MissingDataWordStopsKeepingEarlierWrites", 32, 4, 1, 2, verticalPlane0({1, 0x83}, w16({0x1111, 0x2222})),
         {column(0, 0, 0, {0x11, 0x22}), column(0, 0, 1, {0x11, 0x22})}},
        {"OpcodesEndingInsideAColumnStop", 32, 4, 1, 2, DeltaChunk(16).list(kData, w16({0x1111})).list(0, {3, 0x81}),
         {rowBytes(0, 0, 0, {0x11, 0x11})}},
        {"ChunkShorterThanTheTableChangesNothing", 32, 4, 1, 2, ByteVector(35, 0x81), {}},
    });

    // Vertical delta in one list of words (ANIM-8).
    expectChangedBytes(
        [](auto& c, auto d, auto n, auto b) { decodeVerticalDelta8(d, n, b, c.option, c.exclusiveOr); }, {
        // 32×4 short: column 0 has two literal words, a skip of one row and a
        // same run of one; column 1 has no operations.
        {"ExclusiveOrChangesBitsInsteadOfStoring", 32, 4, 1, 2,
         DeltaChunk(1).list(0, w16({3, 0x8002, 0xA1A2, 0xB1B2, 0x0001, 0x0000, 1, 0xC1C2, 0})),
         {column(0, 0, 0, {0x5E, 0x4E}), column(0, 0, 1, {0x5D, 0x4D}), rowBytes(0, 3, 0, {0x3E, 0x3D})}, 0xFF, true},
        {"LiteralPastTheBottomIsDroppedAndTheListReadsOn", 32, 4, 1, 2,
         DeltaChunk(1).list(0, w16({2, 3, 0x8002, 0x1112, 0x2122, 1, 0x8001, 0x3132})),
         {rowBytes(0, 3, 0, {0x11, 0x12}), rowBytes(0, 0, 2, {0x31, 0x32})}},
        {"HugeLongSameRunAndSkipStopAtTheBottom", 64, 4, 1, 4,
         DeltaChunk(1).list(0, w32({2, 0, 0x7FFFFFFF, 0x5A5A5A5A, 0x7FFFFFFF, 1, 0x80000001, 0x11111111})),
         {rowBytes(0, 0, 0, {0x5A, 0x5A, 0x5A, 0x5A, 0x11, 0x11, 0x11, 0x11}),
          rowBytes(0, 1, 0, {0x5A, 0x5A, 0x5A, 0x5A}), rowBytes(0, 2, 0, {0x5A, 0x5A, 0x5A, 0x5A}),
          rowBytes(0, 3, 0, {0x5A, 0x5A, 0x5A, 0x5A})}},
        {"NarrowPictureStillHasOneColumn", 12, 2, 1, 2, DeltaChunk(1).list(0, w16({1, 0x8002, 0x1112, 0x2122})),
         {rowBytes(0, 0, 0, {0x11, 0x12}), rowBytes(0, 1, 0, {0x21, 0x22})}},
        {"TruncatedLiteralStopsTheFrameKeepingEarlierWords", 32, 4, 2, 2,
         DeltaChunk(2).list(1, w16({1, 0x8001, 0x3132, 0})).list(0, w16({1, 0x8003, 0x1112, 0x2122})),
         {column(0, 0, 0, {0x11, 0x21}), column(0, 0, 1, {0x12, 0x22})}},
        {"PointerZeroSkipsAndPointerPastTheChunkStops", 32, 4, 3, 2,
         DeltaChunk(3).list(1, w16({1, 0x8001, 0x3132, 0})).setEntry(2, 0x400), {rowBytes(1, 0, 0, {0x31, 0x32})}},
        {"TableShorterThanThePlanesChangesNothing", 32, 4, 2, 2, ByteVector{0, 0, 0, 8, 0, 1, 0x80, 1}, {}},
    });

    // ANIM-J. 320 pixels: screen offsets are plain byte offsets (row bytes 40).
    std::vector<Written> twoColumns;  // in every plane
    for (std::size_t p = 0; p < 5; ++p)
        twoColumns.insert(twoColumns.end(), {column(p, 0, 0, {10, 10, 10}), column(p, 0, 1, {11, 11, 11})});
    expectChangedBytes([](auto&, auto d, auto n, auto b) { decodeEricGrahamDelta(d, n, b); }, {
        {"OddGroupIsFollowedByAFillByte", 320, 4, 5, 0,
         concat({columns(3, 2), w16({0}), ByteVector(15, 0x0A), {0xEE}, w16({1}), ByteVector(15, 0x0B), {0xEE}, kEnd}),
         twoColumns},
        // 288 pixels sit 2 bytes in from the left of the 40-byte screen, so
        // screen offset 41 is a byte left of the picture's row 1.
        {"BytesLeftOfACentredPictureAreDropped", 288, 4, 1, 0,
         concat({rectangles(2, 2, 1), w16({41}), {0x01, 0x02, 0x03, 0x04}, kEnd}),
         {column(0, 1, 0, {0x02}), column(0, 2, 0, {0x04})}},
        {"BytesPastTheRowEndAreDropped", 320, 4, 1, 0,
         concat({rectangles(1, 3, 1), w16({38}), {0x38, 0x39, 0x40, 0}, kEnd}), {rowBytes(0, 0, 38, {0x38, 0x39})}},
        {"RowsBelowThePictureAreDropped", 320, 2, 1, 0,
         concat({columns(3, 1), w16({40}), {0x01, 0x02, 0x03, 0}, kEnd}), {column(0, 1, 0, {0x01})}},
        {"TypeZeroFirstChangesNothing", 320, 4, 1, 0, concat({kEnd, columns(1, 1), w16({0}), {0x77, 0}}), {}},
        {"DataEndingInsideAGroupKeepsTheBytesBeforeIt", 320, 4, 1, 0,
         concat({columns(1, 1), w16({0}), {0x61, 0}, rectangles(1, 4, 1), w16({4}), {0x62, 0x63}}),
         {column(0, 0, 0, {0x61}), rowBytes(0, 0, 4, {0x62, 0x63})}},
        {"HeaderEndingEarlyStops", 320, 4, 1, 0, concat({columns(1, 1), w16({0}), {0x61, 0}, w16({2, 0, 1})}),
         {column(0, 0, 0, {0x61})}},
        {"UnknownRecordTypeIsLoggedAndEndsTheFrame", 320, 2, 1, 0,
         concat({columns(1, 1), w16({0}), {0x51, 0}, w16({0x3B, 0}), columns(1, 1), w16({1}), {0x52, 0}, kEnd}),
         {column(0, 0, 0, {0x51})}, 0, false, {"ANIMParser: Unknown ANIM-J record type 0x3b"}},
    });
}

// The parser picks ANIM-8's long form with bit 0 and XOR with bit 1. A 32×2
// picture of one plane whose key frame is all 0xF0; one list of words, read by
// the long form as one column holding one literal.
TEST(VerticalDelta8, OptionBitsChooseLongWordsAndExclusiveOr) {
    const ByteVector list = DeltaChunk(1).list(0, w32({1, 0x80000001, 0xA1A2A3A4}));
    const struct {
        std::uint32_t bits;
        Bytes firstRow;
    } cases[] = {{1, {0xA1, 0xA2, 0xA3, 0xA4}}, {3, {0x51, 0x52, 0x53, 0x54}}};
    for (const auto& c : cases) {
        ANIMParser parser(makeSharedBytes(
            animFile({form("ILBM", {bmhd({.width = 32, .height = 2}), chunk("BODY", ByteVector(8, 0xF0))}),
                      form("ILBM", {anhd({.operation = 8, .interleave = 1, .bits = c.bits}), chunk("DLTA", list)})})));
        ASSERT_TRUE(parser.parseWithError(nullptr));
        ASSERT_NE(parser.decodeFrameAtIndex(1, nullptr), nullptr);
        Bytes expected = c.firstRow;
        expected.insert(expected.end(), 4, 0xF0);
        EXPECT_EQ(*parser.planarBuffer(), expected) << "bits " << c.bits;
    }
}

}  // namespace
}  // namespace velarium
