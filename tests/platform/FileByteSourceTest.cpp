// Reading files for format readers: whole reads, reads that run into the end
// of the file, and files that cannot be read at all.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/mediaextension/FileByteSource.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

TEST(FileByteSource, ReadsWhatIsThereAndStopsAtTheEnd) {
    testing::TemporaryFolder folder;
    const auto ten = folder.write("ten", std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    auto source = FileByteSource::open(ten, nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->fileLength(), 10);

    struct Case {
        std::size_t length;
        std::int64_t offset;
        std::size_t read;
        std::uint8_t first;
    } cases[] = {{10, 0, 10, 0}, {4, 3, 4, 3}, {100, 6, 4, 6}, {5, 10, 0, 0}, {5, 1000, 0, 0}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.length, 0xEE);
        std::size_t read = 99;
        Error error;
        EXPECT_TRUE(source->readDataOfLength(c.length, c.offset, out.data(), &read, &error));
        EXPECT_EQ(read, c.read) << c.length << " at " << c.offset;
        if (c.read > 0) {
            EXPECT_EQ(out[0], c.first);
        }
        if (c.read < c.length) {
            EXPECT_EQ(out[c.read], 0xEE) << "wrote past what it read";
        }
    }

    // A negative offset is refused.
    std::uint8_t out[4];
    std::size_t read = 7;
    Error error;
    EXPECT_FALSE(source->readDataOfLength(4, -1, out, &read, &error));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_EQ(error.code, EINVAL);
}

TEST(FileByteSource, OpeningFailsWithTheSystemError) {
    testing::TemporaryFolder folder;
    struct Case {
        std::filesystem::path path;
        long code;
    } cases[] = {{folder / "missing", ENOENT}, {folder.path(), EISDIR}};
    for (const auto& c : cases) {
        Error error;
        EXPECT_EQ(FileByteSource::open(c.path, &error), nullptr);
        EXPECT_EQ(error.domain, kPOSIXErrorDomain);
        EXPECT_EQ(error.code, c.code) << c.path;
        EXPECT_EQ(error.localizedDescription, std::string("Cannot read the file: ") + std::strerror(c.code));
    }
}

}  // namespace
}  // namespace velarium
