#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

extern "C" {
#include <lhasa.h>
}

namespace velarium {

class ArchiveSource;

// One pass over an archive with lhasa's reader. The archive's stream is
// opened here (then lha_input_stream_from_FILE) so that the stream position
// after each header tells where that entry's data ends.
class ArchiveReader {
public:
    // Null when the archive cannot be opened or lhasa cannot set up a reader.
    static std::unique_ptr<ArchiveReader> open(const ArchiveSource& archive, LHAReaderDirPolicy policy);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // The next entry's header, valid until the next call; null at the end of
    // the archive and at an unreadable header alike.
    LHAFileHeader* next();
    // The current entry is one lhasa made up (a directory or link repeated).
    bool currentIsFake();
    // Writes the current entry to `filename` (never null), reporting decoded
    // blocks to `progress`. True when the length and CRC matched.
    bool extractCurrent(const std::string& filename, LHADecoderProgressCallback progress, void* context);

    // Where the data of the last real entry read ends (0 before any).
    std::uint64_t endOfLastEntry() const { return endOfLastEntry_; }
    // The archive's stream, for reading what follows that end.
    std::FILE* file() const { return file_; }

private:
    ArchiveReader() = default;

    std::FILE* file_ = nullptr;
    LHAInputStream* stream_ = nullptr;
    LHAReader* reader_ = nullptr;
    std::uint64_t endOfLastEntry_ = 0;
};

}  // namespace velarium
