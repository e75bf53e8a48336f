// Delta frames through the parser: the operation and option bits choose the
// decoder and its form, and the interleave chooses the buffer it changes.
#include <string>

#include "core/ANIMParser.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// A 32×2 picture of one plane (row bytes 4) whose key frame is all 0xF0.
ByteVector keyFrame() {
    BMHDFields header;
    header.width = 32;
    header.height = 2;
    return form("ILBM", {bmhd(header), chunk("BODY", ByteVector(8, 0xF0))});
}

ByteVector deltaFrame(const ANHDFields& fields, const ByteVector& dlta) {
    return form("ILBM", {anhd(fields), chunk("DLTA", dlta)});
}

// The planar picture of the last frame.
Bytes planarAfter(const std::vector<ByteVector>& frames) {
    ANIMParser parser(makeSharedBytes(animFile(frames)));
    EXPECT_TRUE(parser.parseWithError(nullptr));
    EXPECT_NE(parser.decodeFrameAtIndex(parser.numFrames() - 1, nullptr), nullptr);
    return *parser.planarBuffer();
}

Bytes picture(std::initializer_list<std::uint8_t> row0, std::initializer_list<std::uint8_t> row1) {
    Bytes out(row0);
    out.insert(out.end(), row1);
    return out;
}

struct DispatchCase {
    const char* name;
    ANHDFields fields;
    ByteVector dlta;
    Bytes expected;
};

// One byte column, one literal byte.
const ByteVector kByteVertical = DeltaChunk(1).list(0, {1, 0x81, 0xFF, 0, 0, 0}).bytes();
// Separate lists: one column with one literal word; the long form reads four bytes.
const ByteVector kSeparateLists =
    DeltaChunk(16).list(0, {1, 0x81, 0, 0}).list(8, {0xA1, 0xA2, 0xA3, 0xA4}).bytes();
// One list of words; the long form reads it as one column holding one literal.
const ByteVector kOneList = DeltaChunk(1).list(0, w32({1, 0x80000001, 0xA1A2A3A4})).bytes();
// General delta: a literal run of two 16-bit elements from offset 0.
const ByteVector kGeneral = DeltaChunk(16, 2).list(0, w16({0xA1A2, 0xB1B2})).list(8, w16({0, 2, 0xFFFF})).bytes();

std::vector<DispatchCase> cases() {
    return {
        {"ByteVerticalStoresWithoutTheXorBit", {.operation = 5, .interleave = 1}, kByteVertical,
         picture({0xFF, 0xF0, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"ByteVerticalXorsWithBitOne", {.operation = 5, .interleave = 1, .bits = 2}, kByteVertical,
         picture({0x0F, 0xF0, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"SeparateListsLongWithBitZero", {.operation = 7, .interleave = 1, .bits = 1}, kSeparateLists,
         picture({0xA1, 0xA2, 0xA3, 0xA4}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"SeparateListsShortWithoutBitZero", {.operation = 7, .interleave = 1}, kSeparateLists,
         picture({0xA1, 0xA2, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"SeparateListsXorWithBitOne", {.operation = 7, .interleave = 1, .bits = 3}, kSeparateLists,
         picture({0x51, 0x52, 0x53, 0x54}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"OneListLongWithBitZero", {.operation = 8, .interleave = 1, .bits = 1}, kOneList,
         picture({0xA1, 0xA2, 0xA3, 0xA4}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"OneListXorWithBitOne", {.operation = 8, .interleave = 1, .bits = 3}, kOneList,
         picture({0x51, 0x52, 0x53, 0x54}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"GeneralDeltaFollowsTheFrameBits", {.operation = 4, .interleave = 1}, kGeneral,
         picture({0xA1, 0xA2, 0xB1, 0xB2}, {0xF0, 0xF0, 0xF0, 0xF0})},
        {"VerticalShortDeltaIgnoresTheFrameBits", {.operation = 'l', .interleave = 1, .bits = 0x23}, kGeneral,
         picture({0xA1, 0xA2, 0xF0, 0xF0}, {0xB1, 0xB2, 0xF0, 0xF0})},
        {"LongDeltaWritesLongWords", {.operation = 2, .interleave = 1},
         DeltaChunk(1).list(0, w16({1, 0xA1A2, 0xA3A4, 0xFFFF})).bytes(),
         picture({0xF0, 0xF0, 0xF0, 0xF0}, {0xA1, 0xA2, 0xA3, 0xA4})},
        {"ShortDeltaWritesShortWords", {.operation = 3, .interleave = 1},
         DeltaChunk(1).list(0, w16({1, 0xA1A2, 0xFFFF})).bytes(),
         picture({0xF0, 0xF0, 0xA1, 0xA2}, {0xF0, 0xF0, 0xF0, 0xF0})},
        // 32 pixels sit 18 bytes in from the left of the 40-byte screen.
        {"EricGrahamRecords", {.operation = 'J', .interleave = 1}, concat({w16({1, 0, 1, 1, 18}), {0x99, 0}, w16({0})}),
         picture({0x99, 0xF0, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0})},
    };
}

class DeltaDispatchTest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DeltaDispatchTest, DecodesWithTheChosenDecoder) {
    const DispatchCase& c = GetParam();
    EXPECT_EQ(planarAfter({keyFrame(), deltaFrame(c.fields, c.dlta)}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaDispatchTest, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Byte column j gets one literal byte.
ByteVector byteVerticalAt(std::size_t columnIndex, std::uint8_t value) {
    ByteVector list;
    for (std::size_t c = 0; c < 4; ++c) {
        if (c == columnIndex)
            list.insert(list.end(), {1, 0x81, value});
        else
            list.push_back(0);
    }
    return DeltaChunk(1).list(0, list).bytes();
}

TEST(DeltaDispatch, InterleaveZeroChangesTheFrameTwoBack) {
    // Frame 2's delta is against frame 0, so frame 1's byte is not in it.
    const Bytes picture2 = planarAfter({keyFrame(), deltaFrame({.operation = 5}, byteVerticalAt(0, 0x11)),
                                        deltaFrame({.operation = 5}, byteVerticalAt(1, 0x22))});
    EXPECT_EQ(picture2, picture({0xF0, 0x22, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0}));
}

TEST(DeltaDispatch, InterleaveOneChangesThePreviousFrame) {
    const Bytes picture2 =
        planarAfter({keyFrame(), deltaFrame({.operation = 5, .interleave = 1}, byteVerticalAt(0, 0x11)),
                     deltaFrame({.operation = 5, .interleave = 1}, byteVerticalAt(1, 0x22))});
    EXPECT_EQ(picture2, picture({0x11, 0x22, 0xF0, 0xF0}, {0xF0, 0xF0, 0xF0, 0xF0}));
}

}  // namespace
}  // namespace velarium
