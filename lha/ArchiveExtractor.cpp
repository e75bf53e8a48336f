// The two passes over an archive: measure, then extract.
#include "lha/ArchiveExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "lha/ArchiveReader.h"
#include "lha/DestinationTree.h"
#include "lha/ExtractedFile.h"
#include "lha/ProgressMeter.h"
#include "lha/StagedFile.h"
#include "lha/TrailingHeader.h"

namespace velarium {
namespace {

Error archiveUnreadable(const ArchiveSource& archive) {
    return Error(kLHAErrorDomain, kLHAErrorArchiveUnreadable, "The archive could not be read.",
                 "“" + archive.name() + "” is not an LHA archive, or it is damaged.");
}

// "-lhd-" marks both directories and symbolic links.
bool isDirectoryType(const LHAFileHeader& header) {
    return std::strcmp(header.compress_method, LHA_COMPRESS_TYPE_DIR) == 0;
}

bool hasDecoder(LHAFileHeader& header) { return lha_decoder_for_name(header.compress_method) != nullptr; }

// What lhasa's decoder callback reaches: the meter and the tests' hook.
struct DecodingContext {
    ProgressMeter* meter;
    const std::function<void(unsigned, unsigned)>* blockHook;
};

void decodedBlocks(unsigned done, unsigned total, void* data) {
    auto* context = static_cast<DecodingContext*>(data);
    // A zero-length file reports (0, 0) once: it is then complete.
    const double fraction = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / total);
    context->meter->reportWithinFile(fraction);
    if (*context->blockHook) (*context->blockHook)(done, total);
}

// What became of one file entry.
struct FileOutcome {
    std::optional<EntryFailure> failure;
    bool kept = false;    // a file already there was left alone
    bool placed = false;  // something now stands at the entry's name that this run wrote
    bool isANIM = false;
};

FileOutcome failedWith(EntryFailure failure) { return {failure}; }

// Writes the reader's current entry as the file at `relativePath` in the
// destination: decoded under a temporary name beside it, then moved to its
// name when lhasa's checks passed and what is there may be replaced.
FileOutcome writeFile(ArchiveReader& reader, LHAFileHeader* header, DestinationTree& tree,
                      const std::string& relativePath, bool mayReplace, unsigned umask, DecodingContext* decoding) {
    const DestinationTree::FileSlot slot = tree.prepareFile(relativePath);
    if (slot.failure) return failedWith(*slot.failure);
    // Without /proc there is no path to the folder that involves no
    // look-up through links; better to write nothing.
    if (!tree.handlePathsWork()) return failedWith(EntryFailure::NoProcFileSystem);
    if (!hasDecoder(*header)) return failedWith(EntryFailure::UnsupportedMethod);
    struct stat there {};
    const bool occupied = ::fstatat(slot.folder, slot.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (!occupied && errno == ENAMETOOLONG) return failedWith(EntryFailure::CannotWrite);
    if (occupied && S_ISDIR(there.st_mode)) return failedWith(EntryFailure::FolderInTheWay);
    if (occupied && !mayReplace) return {std::nullopt, true};

    StagedFile staged(slot.folder);
    if (!staged.reserve()) return failedWith(EntryFailure::CannotWrite);
    limitArchivedMetadata(header, umask);
    // lhasa removes the reserved name and creates the file there exclusively.
    if (!reader.extractCurrent(DestinationTree::pathThroughHandle(slot.folder, staged.name()), decodedBlocks,
                               decoding)) {
        if (!staged.holdsFile()) return failedWith(EntryFailure::CannotWrite);
        // What lhasa decoded stays, but only where it takes nothing's place.
        const bool placed = staged.place(slot.name, false) == 0;
        return {EntryFailure::DecodingFailed, false, placed};
    }
    const bool isANIM = settleExtractedFile(slot.folder, staged.name(), umask);
    switch (staged.place(slot.name, mayReplace)) {
        case 0: return {std::nullopt, false, true, isANIM};
        case EEXIST: return {std::nullopt, true};  // arrived while the entry was decoded
        case EISDIR: return failedWith(EntryFailure::FolderInTheWay);
        default: return failedWith(EntryFailure::CannotWrite);
    }
}

}  // namespace

const char* describeEntryFailure(EntryFailure failure) {
    switch (failure) {
        case EntryFailure::RunsIntoLink: return "runs into a link";
        case EntryFailure::NotAFolder: return "a file stands where a folder is needed";
        case EntryFailure::CannotCreateFolder: return "could not create folder";
        case EntryFailure::FolderInTheWay: return "a folder of that name is in the way";
        case EntryFailure::UnsupportedMethod: return "unsupported compression method";
        case EntryFailure::DecodingFailed: return "decoding or checksum failed";
        case EntryFailure::CannotWrite: return "could not be written";
        case EntryFailure::NoProcFileSystem: return "/proc is not mounted";
    }
    return "failed";
}

ArchiveExtractor::ArchiveExtractor(ArchiveSource archive, std::filesystem::path destination, ExistingFiles existing)
    : archive_(std::move(archive)), destination_(std::move(destination)), existing_(existing) {}

bool ArchiveExtractor::measureArchive(std::uint64_t* count) {
    auto reader = ArchiveReader::open(archive_, LHA_READER_DIR_END_OF_DIR);
    if (!reader) return false;
    std::uint64_t files = 0, bytes = 0;
    bool anyEntry = false;
    while (LHAFileHeader* header = reader->next()) {
        anyEntry = true;
        if (reader->currentIsFake()) continue;
        report_.lastEntryPath = relativePathForEntry(header->path, header->filename);
        if (isDirectoryType(*header)) continue;
        ++files;
        bytes += header->length;
    }
    // lhasa ends at an unreadable header as it ends at the end of the file;
    // only what is left after the last entry tells the two apart.
    report_.stoppedEarly = anyEntry && holdsAnotherHeader(reader->file(), reader->endOfLastEntry());
    report_.fileCount = files;
    report_.totalBytes = bytes;
    if (count) *count = files;
    return anyEntry;
}

bool ArchiveExtractor::extractArchive(const ExtractionObserver& observer, Error* error) {
    std::uint64_t count = 0;
    if (!measureArchive(&count)) return fail(error, archiveUnreadable(archive_));
    auto reader = ArchiveReader::open(archive_, LHA_READER_DIR_PLAIN);
    if (!reader) return fail(error, archiveUnreadable(archive_));
    DestinationTree tree;
    if (!tree.open(destination_, error)) return false;

    ProgressMeter meter(report_.totalBytes, observer.progress, clock_);
    DecodingContext decoding{&meter, &blockHook_};
    const unsigned umask = processUmask();
    // Names this run has written: a later entry of the same name replaces
    // them whatever the policy, as it would have in an empty folder.
    std::unordered_set<std::string> written;
    const auto failed = [this](const std::string& path, EntryFailure why) { report_.failed.push_back({path, why}); };

    std::uint64_t fileIndex = 0;
    bool reachedEnd = false;
    while (!cancelled_) {
        LHAFileHeader* header = reader->next();
        if (!header) {
            reachedEnd = true;
            break;
        }
        if (reader->currentIsFake()) continue;
        // The header's strings live only until the next entry: copied here.
        const std::string relativePath = relativePathForEntry(header->path, header->filename);
        const bool directoryType = isDirectoryType(*header);
        if (!directoryType) ++fileIndex;  // ignored files count too
        if (relativePath.empty()) continue;

        if (header->symlink_target) {
            report_.skippedLinks.push_back(relativePath);
        } else if (directoryType) {
            if (const auto failure = tree.makeFolder(relativePath))
                failed(relativePath, *failure);
            else
                report_.extracted.push_back(relativePath);
        } else {
            if (observer.currentFile) observer.currentFile(relativePath, fileIndex, count);
            meter.startFile(header->length);
            const bool mayReplace = existing_ == ExistingFiles::Replace || written.count(relativePath) > 0;
            const FileOutcome outcome = writeFile(*reader, header, tree, relativePath, mayReplace, umask, &decoding);
            if (outcome.placed) written.insert(relativePath);
            if (outcome.failure) {
                failed(relativePath, *outcome.failure);
            } else if (outcome.kept) {
                report_.keptExisting.push_back(relativePath);
            } else {
                report_.extracted.push_back(relativePath);
                if (outcome.isANIM) report_.animPaths.push_back(relativePath);
            }
            meter.finishFile();
        }
    }
    report_.cancelled = !reachedEnd;
    return true;
}

}  // namespace velarium
