#pragma once

// Running the engine in tests, and what lhasa itself reads: the yardstick.

#include <optional>

#include "lha/ArchiveExtractor.h"
#include "support/LHAArchives.h"

extern "C" {
#include <lhasa.h>
}

namespace velarium::testing {

struct ExtractionRun {
    bool succeeded = false;
    Error error;
    ExtractionReport report;
};

// As the application and the tool run it.
inline ExtractionRun extractArchiveInto(const std::filesystem::path& archive, const std::filesystem::path& destination,
                                        ExistingFiles existing = ExistingFiles::Replace,
                                        const ExtractionObserver& observer = {}) {
    ExtractionRun run;
    if (!prepareDestination(destination, &run.error)) return run;
    ArchiveExtractor extractor(archive, destination, existing);
    run.succeeded = extractor.extractArchive(observer, &run.error);
    run.report = extractor.report();
    return run;
}

struct ReferenceEntry {
    std::optional<std::string> path, filename, symlinkTarget;  // raw bytes, absent for null
    std::string method;
    std::vector<std::uint8_t> data;  // a file's decoded content (not checked against its CRC)
};

// Every entry lhasa's reader returns, made-up ones left out.
inline std::vector<ReferenceEntry> readReferenceEntries(const std::filesystem::path& archive, bool withData = true) {
    const auto text = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
    std::vector<ReferenceEntry> entries;
    LHAInputStream* stream = lha_input_stream_from(const_cast<char*>(archive.c_str()));
    if (!stream) return entries;
    LHAReader* reader = lha_reader_new(stream);
    lha_reader_set_dir_policy(reader, LHA_READER_DIR_PLAIN);
    while (LHAFileHeader* header = lha_reader_next_file(reader)) {
        if (lha_reader_current_is_fake(reader)) continue;
        ReferenceEntry entry{text(header->path), text(header->filename), text(header->symlink_target),
                             header->compress_method, {}};
        std::uint8_t buffer[65536];
        if (withData && entry.method != LHA_COMPRESS_TYPE_DIR)
            for (std::size_t got; (got = lha_reader_read(reader, buffer, sizeof buffer)) > 0;)
                entry.data.insert(entry.data.end(), buffer, buffer + got);
        entries.push_back(std::move(entry));
    }
    lha_reader_free(reader);
    lha_input_stream_free(stream);
    return entries;
}

}  // namespace velarium::testing
