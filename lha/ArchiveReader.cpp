// lhasa's reader over an archive file opened by us.
#include "lha/ArchiveReader.h"

#include <string>
#include <vector>

#include "lha/ArchiveExtractor.h"

namespace velarium {

ArchiveSource ArchiveSource::inMemory(const void* bytes, std::size_t size, std::string name) {
    ArchiveSource source;
    source.bytes_ = bytes;
    source.size_ = size;
    source.name_ = std::move(name);
    return source;
}

std::FILE* ArchiveSource::open() const {
    if (!bytes_) return std::fopen(file_.c_str(), "rbe");
    // A stream over no bytes cannot be made; no bytes are no archive either.
    if (size_ == 0) return nullptr;
    // Opened for reading only, the stream never writes to the bytes.
    return ::fmemopen(const_cast<void*>(bytes_), size_, "rb");
}

std::string ArchiveSource::name() const { return bytes_ ? name_ : file_.filename().string(); }

std::unique_ptr<ArchiveReader> ArchiveReader::open(const ArchiveSource& archive, LHAReaderDirPolicy policy) {
    std::unique_ptr<ArchiveReader> reader(new ArchiveReader);
    reader->file_ = archive.open();
    if (!reader->file_) return nullptr;
    reader->stream_ = lha_input_stream_from_FILE(reader->file_);
    if (!reader->stream_) return nullptr;
    reader->reader_ = lha_reader_new(reader->stream_);
    if (!reader->reader_) return nullptr;
    lha_reader_set_dir_policy(reader->reader_, policy);
    return reader;
}

ArchiveReader::~ArchiveReader() {
    // The reader does not free its stream, nor the stream its FILE.
    if (reader_) lha_reader_free(reader_);
    if (stream_) lha_input_stream_free(stream_);
    if (file_) std::fclose(file_);
}

LHAFileHeader* ArchiveReader::next() {
    LHAFileHeader* header = lha_reader_next_file(reader_);
    if (header && !lha_reader_current_is_fake(reader_)) {
        // lhasa reads the header and no further, so the stream stands at the
        // start of this entry's data.
        const long headerEnd = std::ftell(file_);
        if (headerEnd >= 0) endOfLastEntry_ = static_cast<std::uint64_t>(headerEnd) + header->compressed_length;
    }
    return header;
}

bool ArchiveReader::currentIsFake() { return lha_reader_current_is_fake(reader_) != 0; }

bool ArchiveReader::extractCurrent(const std::string& filename, LHADecoderProgressCallback progress, void* context) {
    // lhasa takes a mutable string it does not change.
    std::vector<char> name(filename.begin(), filename.end());
    name.push_back('\0');
    return lha_reader_extract(reader_, name.data(), progress, context) != 0;
}

}  // namespace velarium
