// Reading files for format readers: whole reads, reads that run into the end
// of the file, and files that cannot be read at all.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <numeric>

#include "platform/mediaextension/FileByteSource.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

class FileByteSourceTest : public ::testing::Test {
protected:
    // A file of `length` bytes counting up from 0.
    std::filesystem::path writeFile(const std::string& name, std::size_t length) {
        std::vector<std::uint8_t> bytes(length);
        std::iota(bytes.begin(), bytes.end(), 0);
        return folder_.write(name, bytes);
    }

    testing::TemporaryFolder folder_;
};

TEST_F(FileByteSourceTest, ReadsWhatIsThereAndStopsAtTheEnd) {
    auto source = FileByteSource::open(writeFile("ten", 10), nullptr);
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
}

TEST_F(FileByteSourceTest, NegativeOffsetIsRefused) {
    auto source = FileByteSource::open(writeFile("four", 4), nullptr);
    ASSERT_NE(source, nullptr);
    std::uint8_t out[4];
    std::size_t read = 7;
    Error error;
    EXPECT_FALSE(source->readDataOfLength(4, -1, out, &read, &error));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_EQ(error.code, EINVAL);
}

TEST_F(FileByteSourceTest, OpeningFailsWithTheSystemError) {
    struct Case {
        std::filesystem::path path;
        long code;
    } cases[] = {{folder_ / "missing", ENOENT}, {folder_.path(), EISDIR}};
    for (const auto& c : cases) {
        Error error;
        EXPECT_EQ(FileByteSource::open(c.path, &error), nullptr);
        EXPECT_EQ(error.domain, kPOSIXErrorDomain);
        EXPECT_EQ(error.code, c.code) << c.path;
        EXPECT_EQ(error.localizedDescription, std::string("Cannot read the file: ") + std::strerror(c.code));
    }
}

TEST_F(FileByteSourceTest, SparseFileReportsItsFullLength) {
    const auto path = folder_ / "sparse";
    std::ofstream(path).close();
    std::filesystem::resize_file(path, 104857601);
    auto source = FileByteSource::open(path, nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->fileLength(), 104857601);
}

}  // namespace
}  // namespace velarium
