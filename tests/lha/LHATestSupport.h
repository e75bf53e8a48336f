#pragma once

// Running the extraction engine in tests, and the yardsticks its results are
// held against: what lhasa itself reads from an archive, and snapshots that
// prove a folder tree unchanged.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <map>
#include <optional>
#include <sstream>

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

// prepareDestination, then both passes, as the application and the tool run them.
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

inline std::vector<std::string> failedPaths(const ExtractionReport& report) {
    std::vector<std::string> paths;
    for (const FailedEntry& entry : report.failed) paths.push_back(entry.path);
    return paths;
}

inline std::string readText(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A test name from any text: what a test name cannot hold becomes '_'.
inline std::string testNameFrom(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

// One entry as lhasa's reader returns it with the plain directory policy.
struct ReferenceEntry {
    std::optional<std::string> path, filename, symlinkTarget;  // raw bytes, absent for null
    std::string method;
    std::vector<std::uint8_t> data;  // a file's decoded content (not checked against its CRC)
};

// Every entry lhasa returns, made-up ones left out; `withData` decodes files too.
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

// A path's type, permissions, size, modification time and link target, read
// without following links ("" when there is nothing). A folder's size and
// time change as entries come and go inside it; those entries count instead.
inline std::string nodeState(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    std::ostringstream state;
    state << "mode " << std::oct << info.st_mode << std::dec;
    if (!S_ISDIR(info.st_mode)) state << ", " << info.st_size << " bytes, mtime " << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec;
    std::error_code ignored;
    if (S_ISLNK(info.st_mode)) state << ", -> " << std::filesystem::read_symlink(path, ignored).string();
    return state.str();
}

using TreeSnapshot = std::map<std::string, std::string>;

// Everything under `root` (links not followed), except the subtree `skip`.
inline TreeSnapshot snapshotTree(const std::filesystem::path& root, const std::filesystem::path& skip = {}) {
    TreeSnapshot snapshot;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!skip.empty() && it->path() == skip) it.disable_recursion_pending();
        else snapshot[it->path().string()] = nodeState(it->path());
    }
    return snapshot;
}

// What differs between two snapshots, one line per path.
inline std::vector<std::string> snapshotDifferences(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::vector<std::string> lines;
    for (const auto& [path, state] : before)
        if (!after.count(path) || after.at(path) != state)
            lines.push_back(path + ": " + state + " -> " + (after.count(path) ? after.at(path) : "removed"));
    for (const auto& [path, state] : after)
        if (!before.count(path)) lines.push_back(path + ": added, " + state);
    return lines;
}

// Temporary names of the engine's (".velarium-…") left anywhere under `root`.
inline std::vector<std::string> leftoverTemporaries(const std::filesystem::path& root) {
    std::vector<std::string> found;
    for (const auto& [path, state] : snapshotTree(root))
        if (std::filesystem::path(path).filename().string().rfind(".velarium-", 0) == 0) found.push_back(path);
    return found;
}

}  // namespace velarium::testing
