// The two passes over an archive: measure, then extract.
#include "lha/ArchiveExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "lha/ArchiveReader.h"
#include "lha/DestinationTree.h"
#include "lha/ExtractedFile.h"
#include "lha/ProgressMeter.h"
#include "lha/TrailingHeader.h"

namespace velarium {
namespace {

Error archiveUnreadable(const std::filesystem::path& archive) {
    return Error(kLHAErrorDomain, kLHAErrorArchiveUnreadable, "The archive could not be read.",
                 "“" + archive.filename().string() + "” is not an LHA archive, or it is damaged.");
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

// Writes the reader's current entry as the file at `relativePath` in the
// destination; says why when it is not written, and whether it is an
// animation when it is.
std::optional<EntryFailure> writeFile(ArchiveReader& reader, LHAFileHeader* header, DestinationTree& tree,
                                      const std::string& relativePath, DecodingContext* decoding, bool* isANIM) {
    const DestinationTree::FileSlot slot = tree.prepareFile(relativePath);
    if (slot.failure) return slot.failure;
    // Without /proc there is no path to the folder that involves no
    // look-up through links; better to write nothing.
    if (!tree.handlePathsWork()) return EntryFailure::NoProcFileSystem;
    limitArchivedMetadata(header);
    // lhasa removes whatever is at the name (a link there is replaced, not
    // followed) and creates the file exclusively.
    if (reader.extractCurrent(DestinationTree::pathThroughHandle(slot.folder, slot.name), decodedBlocks, decoding)) {
        *isANIM = settleExtractedFile(slot.folder, slot.name);
        return std::nullopt;
    }
    if (!hasDecoder(*header)) return EntryFailure::UnsupportedMethod;  // lhasa gives up before creating the file
    // lhasa removes what was at the name before it writes, unless it is a
    // folder; so a file there now is its own, left by a failed decoding.
    struct stat found {};
    if (::fstatat(slot.folder, slot.name.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(found.st_mode)) return EntryFailure::FolderInTheWay;
        if (S_ISREG(found.st_mode)) return EntryFailure::DecodingFailed;
    }
    return EntryFailure::CannotWrite;
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

ArchiveExtractor::ArchiveExtractor(std::filesystem::path archive, std::filesystem::path destination)
    : archive_(std::move(archive)), destination_(std::move(destination)) {}

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
    const auto failed = [this](const std::string& path, EntryFailure why) {
        report_.failedPaths.push_back(path);
        report_.failureReasons.push_back(why);
    };

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
            bool isANIM = false;
            if (const auto failure = writeFile(*reader, header, tree, relativePath, &decoding, &isANIM)) {
                failed(relativePath, *failure);
            } else {
                report_.extracted.push_back(relativePath);
                if (isANIM) report_.animPaths.push_back(relativePath);
            }
            meter.finishFile();
        }
    }
    report_.cancelled = !reachedEnd;
    return true;
}

}  // namespace velarium
