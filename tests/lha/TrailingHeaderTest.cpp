// What counts as another LHA header in the bytes after the last entry read.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "lha/TrailingHeader.h"

namespace velarium {
namespace {

// A header's first 21 bytes: size, checksum, method id, then filler up to
// the level byte.
std::string headerStart(const std::string& method, char level) {
    return std::string("\x30\x00", 2) + method + std::string(13, '\x01') + level;
}

bool tailHoldsHeader(const std::string& bytes, std::uint64_t offset = 0) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    return holdsAnotherHeader(file.get(), offset);
}

TEST(TrailingHeader, FindsMethodIdsOfPlausibleHeadersOnly) {
    const std::string zeros(7198, '\0');
    struct Case {
        std::string name;
        std::string bytes;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"nothing", "", false},
        {"end marker", std::string(1, '\0'), false},
        {"padding", zeros, false},
        {"CP/M end-of-file padding", std::string(128, '\x1a'), false},
        {"-lh5- header", headerStart("-lh5-", 2), true},
        {"-lz4- header", headerStart("-lz4-", 0), true},
        {"-pm2- header", headerStart("-pm2-", 1), true},
        {"directory header", headerStart("-lhd-", 2), true},
        {"after garbage", "junk junk junk" + headerStart("-lh0-", 1), true},
        {"cut off before the level byte", headerStart("-lh0-", 0).substr(0, 15), true},
        {"level 7 is no header", headerStart("-lh5-", 7), false},
        {"method id without its dashes", headerStart("xlh5x", 0), false},
        {"unknown family", headerStart("-zz5-", 0), false},
        {"just past a 4096-byte read", zeros.substr(0, 4090) + headerStart("-lh5-", 2), true},
        {"level byte in the next read", zeros.substr(0, 4080) + headerStart("-lh5-", 2), true},
        {"level 7 across a read", zeros.substr(0, 4080) + headerStart("-lh5-", 7), false},
    };
    for (const Case& c : cases) EXPECT_EQ(tailHoldsHeader(c.bytes), c.expected) << c.name;
}

TEST(TrailingHeader, LooksOnlyPastTheOffset) {
    const std::string archive = headerStart("-lh5-", 2) + std::string(40, '\0');
    EXPECT_TRUE(tailHoldsHeader(archive, 0));
    EXPECT_FALSE(tailHoldsHeader(archive, 1));
    EXPECT_FALSE(tailHoldsHeader(archive, archive.size() + 10));  // data cut short: nothing left
}

}  // namespace
}  // namespace velarium
