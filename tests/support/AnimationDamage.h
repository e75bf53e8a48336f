#pragma once

// Damaged copies of an animation, alike for every reader under test and
// fixed by a seed: the file cut short, garbled, given wrong chunk sizes, and
// its delta chunks damaged and relabelled with every delta operation.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace velarium::testing {

class AnimationDamage {
public:
    using Bytes = std::vector<std::uint8_t>;

    AnimationDamage(const Bytes& file, std::uint32_t seed) : file_(file), random_(seed) {
        walk(12, file.size());
    }

    // A seed made from a name, so that each file is damaged its own way.
    static std::uint32_t seedFor(const std::string& name) {
        std::uint32_t seed = 0;
        for (char c : name) seed = seed * 31 + static_cast<unsigned char>(c);
        return seed;
    }

    // Calls visit(mutant) for every damaged copy, in a fixed order.
    template <typename Visit>
    void forEachMutant(Visit visit) {
        for (std::size_t i = 1; i <= 16; ++i) visit(Bytes(file_.begin(), file_.begin() + file_.size() * i / 17));
        for (std::size_t i = 0; i < 24; ++i) visit(garbled(0, file_.size(), 1 + i));
        for (const ChunkAt& c : spread(chunks_, 8))
            for (std::uint32_t size : {0u, c.size / 2, c.size + 1, c.size * 2 + 8, 0xFFFFFFFFu})
                visit(withU32(c.header + 4, size));
        for (const ChunkAt& c : spread(named("DLTA"), 6)) {
            const std::size_t data = c.header + 8, end = std::min(file_.size(), data + c.size);
            visit(garbled(data, end, 4));
            visit(garbled(data, std::min(end, data + 64), 8));  // the pointer tables
            Bytes aimed = file_;  // table entries at the chunk's last few bytes, or just past it
            for (std::size_t entry = 0; data + 4 * entry + 4 <= end && entry < 16; ++entry)
                putU32(aimed, data + 4 * entry, std::uint32_t(end - data - random_() % 4 + (entry & 1)));
            visit(aimed);
            visit(withU32(c.header + 4, c.size / 3));
        }
        // Every delta decoder is handed every other decoder's data: the
        // operation at byte 0 of each ANHD changes, and the option bits at 20.
        const auto headers = named("ANHD");
        if (headers.empty()) return;
        for (std::uint8_t operation : {2, 3, 4, 5, 7, 8, int('J'), int('l')}) {
            Bytes relabelled = file_;
            for (const ChunkAt& h : headers) {
                if (h.size < 24 || h.header + 32 > file_.size()) continue;
                relabelled[h.header + 8] = operation;
                putU32(relabelled, h.header + 28, random_() & 0x3F);
            }
            visit(relabelled);
        }
    }

private:
    struct ChunkAt {
        std::string id;
        std::size_t header;  // offset of the chunk's identifier
        std::uint32_t size;
    };

    std::uint32_t u32At(std::size_t at) const {
        return std::uint32_t(file_[at]) << 24 | file_[at + 1] << 16 | file_[at + 2] << 8 | file_[at + 3];
    }
    static void putU32(Bytes& file, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
    Bytes withU32(std::size_t at, std::uint32_t value) const {
        Bytes mutant = file_;
        putU32(mutant, at, value);
        return mutant;
    }

    // Lists every chunk: the ANIM's FORMs and the chunks inside each.
    void walk(std::size_t from, std::size_t to) {
        for (std::size_t p = from; p + 8 <= to;) {
            const ChunkAt c{std::string(file_.begin() + p, file_.begin() + p + 4), p, u32At(p + 4)};
            chunks_.push_back(c);
            if (c.id == "FORM" && c.size >= 4) walk(p + 12, std::min<std::size_t>(to, p + 8 + c.size));
            p += 8 + std::size_t(c.size) + (c.size & 1);
        }
    }

    std::vector<ChunkAt> named(const std::string& id) const {
        std::vector<ChunkAt> out;
        for (const ChunkAt& c : chunks_)
            if (c.id == id) out.push_back(c);
        return out;
    }

    // Up to `count` items spread evenly over the list.
    static std::vector<ChunkAt> spread(const std::vector<ChunkAt>& items, std::size_t count) {
        if (items.size() <= count) return items;
        std::vector<ChunkAt> out;
        for (std::size_t i = 0; i < count; ++i) out.push_back(items[i * items.size() / count]);
        return out;
    }

    Bytes garbled(std::size_t from, std::size_t to, std::size_t bytes) {
        Bytes mutant = file_;
        for (std::size_t i = 0; i < bytes && from < to; ++i)
            mutant[from + random_() % (to - from)] = static_cast<std::uint8_t>(random_());
        return mutant;
    }

    const Bytes& file_;
    std::vector<ChunkAt> chunks_;
    std::mt19937 random_;
};

}  // namespace velarium::testing
