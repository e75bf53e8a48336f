// Delta frames through the parser: the option bits choose the decoder's form.
// The corpus's test animations cover every operation, word size and
// interleave, and the XOR forms of all but ANIM-8, which is checked here.
#include "core/ANIMParser.h"
#include "tests/core/DeltaTestSupport.h"

namespace velarium {
namespace {

using namespace velarium::testing;

TEST(DeltaDispatch, VerticalWordDeltaXorsWithBitOne) {
    // A 32×2 picture of one plane (row bytes 4) whose key frame is all 0xF0;
    // one list of words, read by the long form as one column holding one literal.
    BMHDFields header;
    header.width = 32;
    header.height = 2;
    const ByteVector list = DeltaChunk(1).list(0, w32({1, 0x80000001, 0xA1A2A3A4})).bytes();
    const struct {
        std::uint32_t bits;
        Bytes firstRow;
    } cases[] = {{1, {0xA1, 0xA2, 0xA3, 0xA4}}, {3, {0x51, 0x52, 0x53, 0x54}}};
    for (const auto& c : cases) {
        ANIMParser parser(makeSharedBytes(
            animFile({form("ILBM", {bmhd(header), chunk("BODY", ByteVector(8, 0xF0))}),
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
