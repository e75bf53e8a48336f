// Damaged animations never crash, hang or touch memory outside their
// buffers. Every corpus animation is cut short, garbled, given wrong chunk
// sizes, and has its delta chunks damaged and relabelled with every delta
// operation; each result is parsed and every frame decoded. Inputs that once
// found a fault are replayed too. Meant to be run under ASan and UBSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "core/BigEndian.h"
#include "platform/foundation/SystemLog.h"
#include "support/Corpus.h"

namespace velarium {
namespace {

// Pictures larger than this are rebuilt without converting them to BGRA.
constexpr std::uint64_t kMaxConvertedPixels = std::uint64_t(1) << 20;

constexpr std::size_t kTruncations = 16;
constexpr std::size_t kGarbles = 24;
constexpr std::size_t kResizedChunks = 8;
constexpr std::size_t kDamagedDeltas = 6;
constexpr std::uint8_t kDeltaOperations[] = {2, 3, 4, 5, 7, 8, 'J', 'l'};
constexpr std::size_t kANHDOperation = 0;
constexpr std::size_t kANHDBits = 20;

// Parses the file and decodes every frame, converting the last one and, after
// a step back, the middle one.
void decodeEveryFrame(const Bytes& file) {
    ANIMParser parser(makeSharedBytes(file));
    if (!parser.parseWithError(nullptr)) return;
    const std::uint64_t pixels = parser.width() * parser.height();
    if (pixels > kMaxConvertedPixels) {
        for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
            const ANIMFrameInfo& frame = parser.frameAtIndex(i);
            if (frame.isKeyframe)
                parser.decodeKeyframe(frame);
            else
                parser.decodeDeltaFrame(frame);
        }
        return;
    }
    Bytes picture(std::max<std::uint64_t>(pixels * 4, 1));  // never null, even for an empty picture
    const std::uint64_t last = parser.numFrames() - 1;
    ASSERT_TRUE(parser.decodeFrameAtIndex(last, picture, nullptr));
    ASSERT_TRUE(parser.decodeFrameAtIndex(last / 2, picture, nullptr));
}

struct ChunkAt {
    std::uint32_t id;
    std::size_t header;  // offset of the chunk's identifier
    std::uint32_t size;
};

// Every chunk of the file: the ANIM's FORMs and the chunks inside each ILBM.
std::vector<ChunkAt> chunksOf(const Bytes& file) {
    std::vector<ChunkAt> out;
    auto walk = [&](auto&& self, std::size_t from, std::size_t to) -> void {
        for (std::size_t p = from; p + 8 <= to;) {
            const ChunkAt c{readU32BE(&file[p]), p, readU32BE(&file[p + 4])};
            out.push_back(c);
            if (c.id == fourCC("FORM") && c.size >= 4) self(self, p + 12, std::min<std::size_t>(to, p + 8 + c.size));
            p += 8 + std::size_t(c.size) + (c.size & 1);
        }
    };
    walk(walk, 12, file.size());
    return out;
}

std::vector<ChunkAt> chunksNamed(const std::vector<ChunkAt>& chunks, std::uint32_t id) {
    std::vector<ChunkAt> out;
    std::copy_if(chunks.begin(), chunks.end(), std::back_inserter(out), [&](const ChunkAt& c) { return c.id == id; });
    return out;
}

// Up to `count` items spread evenly over the list.
template <typename T>
std::vector<T> spread(const std::vector<T>& items, std::size_t count) {
    if (items.size() <= count) return items;
    std::vector<T> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(items[i * items.size() / count]);
    return out;
}

void putU32(Bytes& file, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The deterministic damage done to one file; each mutant is decoded in turn.
class Mutator {
public:
    Mutator(const Bytes& file, std::uint32_t seed) : file_(file), chunks_(chunksOf(file)), random_(seed) {}

    template <typename Visit>
    void forEachMutant(Visit visit) {
        for (std::size_t i = 1; i <= kTruncations; ++i) visit(Bytes(file_.begin(), file_.begin() + file_.size() * i / (kTruncations + 1)));
        for (std::size_t i = 0; i < kGarbles; ++i) visit(garbled(0, file_.size(), 1 + i));
        for (const ChunkAt& c : spread(chunks_, kResizedChunks))
            for (std::uint32_t size : {0u, c.size / 2, c.size + 1, c.size * 2 + 8, 0xFFFFFFFFu}) {
                Bytes mutant = file_;
                putU32(mutant, c.header + 4, size);
                visit(mutant);
            }
        const auto deltas = chunksNamed(chunks_, fourCC("DLTA"));
        for (const ChunkAt& c : spread(deltas, kDamagedDeltas)) {
            const std::size_t data = c.header + 8, end = std::min(file_.size(), data + c.size);
            visit(garbled(data, end, 4));
            visit(garbled(data, std::min(end, data + 64), 8));  // the pointer tables
            visit(pointersAimedAtTheEnd(data, end));
            Bytes cut = file_;
            putU32(cut, c.header + 4, c.size / 3);
            visit(cut);
        }
        // Every delta decoder is handed every other decoder's data.
        const auto headers = chunksNamed(chunks_, fourCC("ANHD"));
        if (headers.empty()) return;
        for (std::uint8_t operation : kDeltaOperations) {
            Bytes relabelled = file_;
            for (const ChunkAt& h : headers) {
                if (h.size < kANHDBits + 4 || h.header + 8 + kANHDBits + 4 > file_.size()) continue;
                relabelled[h.header + 8 + kANHDOperation] = operation;
                putU32(relabelled, h.header + 8 + kANHDBits, random_() & 0x3F);
            }
            visit(relabelled);
        }
    }

private:
    Bytes garbled(std::size_t from, std::size_t to, std::size_t bytes) {
        Bytes mutant = file_;
        if (to <= from) return mutant;
        for (std::size_t i = 0; i < bytes; ++i) mutant[from + random_() % (to - from)] = static_cast<std::uint8_t>(random_());
        return mutant;
    }

    // Table entries pointing at the last few bytes of the chunk, or just past it.
    Bytes pointersAimedAtTheEnd(std::size_t data, std::size_t end) {
        Bytes mutant = file_;
        const std::size_t length = end - data;
        for (std::size_t entry = 0; data + 4 * entry + 4 <= end && entry < 16; ++entry)
            putU32(mutant, data + 4 * entry, static_cast<std::uint32_t>(length - random_() % 4 + (entry & 1)));
        return mutant;
    }

    const Bytes& file_;
    std::vector<ChunkAt> chunks_;
    std::mt19937 random_;
};

class RobustnessTest : public ::testing::TestWithParam<testing::CorpusAnimation> {};

TEST_P(RobustnessTest, DamagedCopiesDecodeSafely) {
    const Bytes file = testing::readFileBytes(GetParam().file);
    ScopedLogCapture quiet([](const std::string&) {});
    std::uint32_t seed = 0;
    for (char c : GetParam().name) seed = seed * 31 + static_cast<unsigned char>(c);
    Mutator(file, seed).forEachMutant([](const Bytes& mutant) { decodeEveryFrame(mutant); });
}

INSTANTIATE_TEST_SUITE_P(Corpus, RobustnessTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RobustnessTest);

// Inputs that once made the fuzz harness find a fault.
TEST(Robustness, FuzzRegressionsDecodeSafely) {
    const auto folder = std::filesystem::path(__FILE__).parent_path() / "regressions";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    ScopedLogCapture quiet([](const std::string&) {});
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        decodeEveryFrame(testing::readFileBytes(entry.path()));
    }
}

}  // namespace
}  // namespace velarium
