// Reading files for format readers: reads that run into the end of the file
// stop there, and files that cannot be read fail with the system's error.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/mediaextension/FileByteSource.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

TEST(FileByteSource, ReadsWhatIsThereAndStopsAtTheEnd) {
    testing::TemporaryFolder folder;
    auto source = FileByteSource::open(folder.write("ten", std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->fileLength(), 10);
    const struct {
        std::size_t length;
        std::int64_t offset;
        bool succeeds;
        std::size_t read;
    } cases[] = {{10, 0, true, 10}, {4, 3, true, 4}, {100, 6, true, 4}, {5, 10, true, 0}, {5, 1000, true, 0}, {4, -1, false, 0}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.length, 0xEE);
        std::size_t read = 99;
        Error error;
        EXPECT_EQ(source->readDataOfLength(c.length, c.offset, out.data(), &read, &error), c.succeeds);
        EXPECT_EQ(read, c.read) << c.length << " at " << c.offset;
        EXPECT_EQ(c.read > 0 ? out[0] : c.offset, c.offset) << "the first byte read";
        EXPECT_TRUE(c.read == c.length || out[c.read] == 0xEE) << "wrote past what it read";
        EXPECT_TRUE(c.succeeds || (error.domain == kPOSIXErrorDomain && error.code == EINVAL));
    }
}

TEST(FileByteSource, OpeningFailsWithTheSystemError) {
    testing::TemporaryFolder folder;
    for (const auto& [path, code] : {std::pair{folder / "missing", ENOENT}, std::pair{folder.path(), EISDIR}}) {
        Error error;
        EXPECT_EQ(FileByteSource::open(path, &error), nullptr);
        EXPECT_EQ(error, Error(kPOSIXErrorDomain, code, std::string("Cannot read the file: ") + std::strerror(code)));
    }
}

}  // namespace
}  // namespace velarium
