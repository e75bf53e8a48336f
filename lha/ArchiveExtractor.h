#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Error.h"

namespace velarium {

// Errors of archive extraction. The application shows its own translated
// texts for these codes; the English texts here are the same sentences.
inline constexpr const char* kLHAErrorDomain = "com.brackwater.Velarium.LHA";
enum LHAErrorCode : long {
    kLHAErrorDestinationIsAFile = 1,  // "The folder could not be created."
    kLHAErrorArchiveUnreadable = 2,   // "The archive could not be read."
};

// An entry's path inside the destination: the header's directory path and
// file name, each read as UTF-8, else as ISO Latin-1 (absent or unreadable:
// empty), joined, split at "/", with empty, "." and ".." components dropped.
// Empty when nothing is left (the entry is then ignored).
std::string relativePathForEntry(const char* path, const char* filename);

// Makes sure the destination folder exists: an existing folder is used as
// it is; an existing non-folder fails with kLHAErrorDestinationIsAFile; a
// missing one is created with its parents (the file system's error passed
// on).
bool prepareDestination(const std::filesystem::path& destination, Error* error);

// Why an entry was not extracted.
enum class EntryFailure {
    RunsIntoLink,        // a folder on its path (or the folder itself) is a symbolic link
    NotAFolder,          // a file or other non-folder stands where a folder is needed
    CannotCreateFolder,  // the file system refused to create a folder (name too long, no permission...)
    FolderInTheWay,      // a folder already has the file's name
    UnsupportedMethod,   // lhasa has no decoder for the entry's compression method
    DecodingFailed,      // decoding, the length or the CRC check failed; lhasa's output stays when nothing else had the name
    CannotWrite,         // the file could not be created, or not put in its place
    NoProcFileSystem,    // /proc is not mounted, so the file cannot be handed to lhasa safely
};

// A short English phrase for a failure ("runs into a link").
const char* describeEntryFailure(EntryFailure failure);

struct FailedEntry {
    std::string path;  // relative path
    EntryFailure reason;
    bool operator==(const FailedEntry&) const = default;
};

// What becomes of a file already in the destination under an entry's name
// (a folder there is never replaced). Either way, an entry that fails its
// checks never takes the place of what was there.
enum class ExistingFiles {
    Replace,  // a file that passed its checks replaces it
    Keep,     // it is left alone, and the report lists it
};

// What one extraction did, every list in archive order.
struct ExtractionReport {
    std::uint64_t fileCount = 0;   // non-directory entries measured in the first pass
    std::uint64_t totalBytes = 0;  // their uncompressed lengths
    // Relative paths of the files and folders written, one per entry (a name
    // that several entries write appears once for each).
    std::vector<std::string> extracted;
    std::vector<FailedEntry> failed;        // not written, or failing their checks
    std::vector<std::string> keptExisting;  // files that were there already, left alone (ExistingFiles::Keep)
    std::vector<std::string> skippedLinks;  // symbolic-link entries, never extracted
    std::vector<std::string> animPaths;     // extracted files with the ANIM signature
    // The reader stopped before the end of the file, and the bytes left look
    // like further LHA headers: entries after the last one read are missing.
    bool stoppedEarly = false;
    // The relative path of the last entry the reader returned (empty when it
    // had none), for saying where a damaged archive stops.
    std::string lastEntryPath;
    bool cancelled = false;
};

// Called on the extracting thread.
struct ExtractionObserver {
    // Before each file: its relative path, its 1-based index among the
    // files, and the file count.
    std::function<void(const std::string& relativePath, std::uint64_t index, std::uint64_t count)> currentFile;
    // The whole archive's progress, 0…1 by uncompressed bytes, rising, at
    // most 30 times a second; the final 1.0 is for the caller to show.
    std::function<void(double value)> progress;
};

// Where an archive's bytes are: a file, or bytes in memory that outlive
// every extraction reading them.
class ArchiveSource {
public:
    // Not explicit: wherever an archive is wanted, its path will do.
    ArchiveSource(std::filesystem::path file) : file_(std::move(file)) {}
    static ArchiveSource inMemory(const void* bytes, std::size_t size, std::string name);

    // A new stream from the archive's start; null when it cannot be opened.
    std::FILE* open() const;
    // The archive's file name, for messages.
    std::string name() const;

private:
    ArchiveSource() = default;
    std::filesystem::path file_;
    const void* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::string name_;
};

// Extracts one LHA archive into a destination folder with lhasa, in two
// passes (measure, then extract). Everything is created relative to an open
// handle of the destination without following links, so nothing is written
// outside it; links in the archive are never created. Each file is written
// under a temporary name beside its own and moved into place only when it
// passed its checks (see ExistingFiles); no temporary name outlives its
// entry. Extracted files keep no setuid, setgid or sticky bit, are readable
// and writable by their owner, and are narrowed by the process's umask.
// Not copyable; one extraction per object.
class ArchiveExtractor {
public:
    ArchiveExtractor(ArchiveSource archive, std::filesystem::path destination,
                     ExistingFiles existing = ExistingFiles::Replace);

    // First pass: counts the files and sums their lengths. False for an
    // archive that cannot be opened or holds no entries.
    bool measureArchive(std::uint64_t* count);
    // Both passes. False with kLHAErrorArchiveUnreadable when the archive
    // cannot be read or holds no entries, or with the system's error
    // (kPOSIXErrorDomain, errno) when the destination folder cannot be
    // opened; a cancelled run is a success.
    bool extractArchive(const ExtractionObserver& observer, Error* error);

    // From any thread: the run stops before the next entry.
    void cancel() { cancelled_ = true; }

    const ExtractionReport& report() const { return report_; }

    // For tests: the monotonic clock, in seconds, that paces progress
    // updates; and a call after each block lhasa reports, on the extracting
    // thread (to count the blocks, or to slow the run down).
    void setClock(std::function<double()> now) { clock_ = std::move(now); }
    void setBlockHook(std::function<void(unsigned done, unsigned total)> hook) { blockHook_ = std::move(hook); }

private:
    ArchiveSource archive_;
    std::filesystem::path destination_;
    ExistingFiles existing_;
    std::atomic<bool> cancelled_{false};
    ExtractionReport report_;
    std::function<double()> clock_;
    std::function<void(unsigned, unsigned)> blockHook_;
};

}  // namespace velarium
