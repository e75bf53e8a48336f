#pragma once

// Damaged copies of an animation, made the same way for every reader under
// test: the file cut short, garbled, given wrong chunk sizes, and its delta
// chunks damaged and relabelled with every delta operation. The damage is
// deterministic for a given seed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace velarium::testing {

class AnimationDamage {
public:
    using Bytes = std::vector<std::uint8_t>;

    static constexpr std::size_t kTruncations = 16;
    static constexpr std::size_t kGarbles = 24;
    static constexpr std::size_t kResizedChunks = 8;
    static constexpr std::size_t kDamagedDeltas = 6;

    AnimationDamage(const Bytes& file, std::uint32_t seed) : file_(file), chunks_(chunksOf(file)), random_(seed) {}

    // A seed made from a name, so that each file is damaged its own way.
    static std::uint32_t seedFor(const std::string& name) {
        std::uint32_t seed = 0;
        for (char c : name) seed = seed * 31 + static_cast<unsigned char>(c);
        return seed;
    }

    // Calls visit(mutant) for every damaged copy, in a fixed order.
    template <typename Visit>
    void forEachMutant(Visit visit) {
        for (std::size_t i = 1; i <= kTruncations; ++i)
            visit(Bytes(file_.begin(), file_.begin() + file_.size() * i / (kTruncations + 1)));
        for (std::size_t i = 0; i < kGarbles; ++i) visit(garbled(0, file_.size(), 1 + i));
        for (const ChunkAt& c : spread(chunks_, kResizedChunks))
            for (std::uint32_t size : {0u, c.size / 2, c.size + 1, c.size * 2 + 8, 0xFFFFFFFFu}) {
                Bytes mutant = file_;
                putU32(mutant, c.header + 4, size);
                visit(mutant);
            }
        const auto deltas = chunksNamed(chunks_, idOf("DLTA"));
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
        const auto headers = chunksNamed(chunks_, idOf("ANHD"));
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
    static constexpr std::uint8_t kDeltaOperations[] = {2, 3, 4, 5, 7, 8, 'J', 'l'};
    static constexpr std::size_t kANHDOperation = 0;
    static constexpr std::size_t kANHDBits = 20;

    struct ChunkAt {
        std::uint32_t id;
        std::size_t header;  // offset of the chunk's identifier
        std::uint32_t size;
    };

    static std::uint32_t idOf(const char (&id)[5]) {
        return std::uint32_t(std::uint8_t(id[0])) << 24 | std::uint32_t(std::uint8_t(id[1])) << 16 |
               std::uint32_t(std::uint8_t(id[2])) << 8 | std::uint32_t(std::uint8_t(id[3]));
    }
    static std::uint32_t u32At(const Bytes& file, std::size_t offset) {
        return std::uint32_t(file[offset]) << 24 | std::uint32_t(file[offset + 1]) << 16 |
               std::uint32_t(file[offset + 2]) << 8 | std::uint32_t(file[offset + 3]);
    }
    static void putU32(Bytes& file, std::size_t offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }

    // Every chunk of the file: the ANIM's FORMs and the chunks inside each ILBM.
    static std::vector<ChunkAt> chunksOf(const Bytes& file) {
        std::vector<ChunkAt> out;
        auto walk = [&](auto&& self, std::size_t from, std::size_t to) -> void {
            for (std::size_t p = from; p + 8 <= to;) {
                const ChunkAt c{u32At(file, p), p, u32At(file, p + 4)};
                out.push_back(c);
                if (c.id == idOf("FORM") && c.size >= 4)
                    self(self, p + 12, std::min<std::size_t>(to, p + 8 + c.size));
                p += 8 + std::size_t(c.size) + (c.size & 1);
            }
        };
        walk(walk, 12, file.size());
        return out;
    }

    static std::vector<ChunkAt> chunksNamed(const std::vector<ChunkAt>& chunks, std::uint32_t id) {
        std::vector<ChunkAt> out;
        std::copy_if(chunks.begin(), chunks.end(), std::back_inserter(out),
                     [&](const ChunkAt& c) { return c.id == id; });
        return out;
    }

    // Up to `count` items spread evenly over the list.
    template <typename T>
    static std::vector<T> spread(const std::vector<T>& items, std::size_t count) {
        if (items.size() <= count) return items;
        std::vector<T> out;
        for (std::size_t i = 0; i < count; ++i) out.push_back(items[i * items.size() / count]);
        return out;
    }

    Bytes garbled(std::size_t from, std::size_t to, std::size_t bytes) {
        Bytes mutant = file_;
        if (to <= from) return mutant;
        for (std::size_t i = 0; i < bytes; ++i)
            mutant[from + random_() % (to - from)] = static_cast<std::uint8_t>(random_());
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

}  // namespace velarium::testing
