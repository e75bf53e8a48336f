#pragma once

// What lhasa itself reads from an archive, entry by entry, with its reader
// and without writing anything: the yardstick for what extraction wrote.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <lhasa.h>
}

namespace velarium::testing {

struct ReferenceEntry {
    std::optional<std::string> path, filename, symlinkTarget;  // raw bytes, absent for null
    std::string method;
    std::uint64_t length = 0;
    std::vector<std::uint8_t> data;  // decoded content of a file entry (not checked against its CRC)

    bool isDirectoryType() const { return method == LHA_COMPRESS_TYPE_DIR; }
};

inline std::optional<std::string> optionalString(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

// Every entry lhasa returns with the plain directory policy, made-up ones
// left out; `withData` decodes the files too.
inline std::vector<ReferenceEntry> readReferenceEntries(const std::filesystem::path& archive, bool withData = true) {
    std::vector<ReferenceEntry> entries;
    LHAInputStream* stream = lha_input_stream_from(const_cast<char*>(archive.c_str()));
    if (!stream) return entries;
    LHAReader* reader = lha_reader_new(stream);
    lha_reader_set_dir_policy(reader, LHA_READER_DIR_PLAIN);
    while (LHAFileHeader* header = lha_reader_next_file(reader)) {
        if (lha_reader_current_is_fake(reader)) continue;
        ReferenceEntry entry{optionalString(header->path), optionalString(header->filename),
                             optionalString(header->symlink_target), header->compress_method, header->length, {}};
        if (withData && !entry.isDirectoryType()) {
            std::uint8_t buffer[65536];
            for (std::size_t got; (got = lha_reader_read(reader, buffer, sizeof buffer)) > 0;)
                entry.data.insert(entry.data.end(), buffer, buffer + got);
        }
        entries.push_back(std::move(entry));
    }
    lha_reader_free(reader);
    lha_input_stream_free(stream);
    return entries;
}

}  // namespace velarium::testing
