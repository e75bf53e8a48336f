// The animations of a convert collection, and where each one's output goes.
#include "tools/velarium-tool/ConvertInputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "lha/ANIMSignature.h"
#include "lha/ArchiveExtractor.h"
#include "lha/TrailingHeader.h"

namespace velarium::tool {
namespace {

namespace fs = std::filesystem;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isAnimationExtension(const std::string& extension) {
    const std::string lower = lowercase(extension);
    return lower == ".anim" || lower == ".iff" || (lower.size() == 6 && lower.rfind(".anim", 0) == 0);
}

// The archive's name without its extension, as the extract command names
// its default folder.
fs::path archiveFolderName(const fs::path& archive) {
    const fs::path stem = archive.stem();
    return stem.empty() ? archive.filename() : stem;
}

std::string describeErrno(int code) { return std::strerror(code); }

}  // namespace

bool isLHAArchive(const fs::path& path) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) return false;
    const std::string extension = lowercase(path.extension().string());
    if (extension == ".lha" || extension == ".lzh") return true;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    return file && holdsAnotherHeader(file.get(), 0);
}

fs::path outputName(const fs::path& source, exporter::ExportFormat format) {
    fs::path output = source;
    const std::string extension = std::string(".") + exporter::fileExtension(format);
    if (isAnimationExtension(source.extension().string()))
        output.replace_extension(extension);
    else
        output += extension;
    return output;
}

CollectionInputs::CollectionInputs(fs::path outputFolder, exporter::ExportFormat format,
                                   const std::atomic<bool>& cancelled)
    : outputFolder_(std::move(outputFolder)), format_(format), cancelled_(cancelled) {}

CollectionInputs::~CollectionInputs() {
    for (const fs::path& folder : privateFolders_) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
}

void CollectionInputs::add(const std::string& input) {
    const fs::path path = input;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        failures_.push_back({input, error.message()});
    } else if (fs::is_directory(status)) {
        addFolder(path, {});
    } else if (!hasANIMSignature(path) && isLHAArchive(path)) {
        addArchive(path, archiveFolderName(path));
    } else {
        // A file named on the command line is converted whatever it holds:
        // the exporter says why when it is no animation.
        addJob(input, input, path.filename());
    }
}

void CollectionInputs::addFolder(const fs::path& folder, const fs::path& relative) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) {
        failures_.push_back({folder.string(), "the folder cannot be read: " + error.message()});
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const fs::directory_entry& entry : entries) {
        if (cancelled_) return;
        const fs::path name = entry.path().filename();
        std::error_code ignored;
        // Links to folders are not followed, so that a loop cannot run forever.
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            addFolder(entry.path(), relative / name);
            continue;
        }
        if (!entry.is_regular_file(ignored)) continue;
        const int descriptor = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            failures_.push_back({entry.path().string(), "the file cannot be read: " + describeErrno(errno)});
            continue;
        }
        const bool animation = hasANIMSignature(descriptor);
        ::close(descriptor);
        if (animation)
            addJob(entry.path().string(), entry.path().string(), relative / name);
        else if (isLHAArchive(entry.path()))
            addArchive(entry.path(), relative / archiveFolderName(entry.path()));
    }
}

void CollectionInputs::addArchive(const fs::path& archive, const fs::path& relative) {
    std::string pattern = (fs::temp_directory_path() / "velarium-convert-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        failures_.push_back({archive.string(), "no private folder to extract into: " + describeErrno(errno)});
        return;
    }
    const fs::path folder = pattern;
    privateFolders_.push_back(folder);

    ArchiveExtractor extractor(archive, folder, ExistingFiles::Replace);
    const auto stopWhenCancelled = [this, &extractor] {
        if (cancelled_) extractor.cancel();
    };
    extractor.setBlockHook([&](unsigned, unsigned) { stopWhenCancelled(); });
    ExtractionObserver observer;
    observer.currentFile = [&](const std::string&, std::uint64_t, std::uint64_t) { stopWhenCancelled(); };
    Error error;
    if (!extractor.extractArchive(observer, &error)) {
        failures_.push_back({archive.string(), error.localizedDescription});
        return;
    }
    const ExtractionReport& report = extractor.report();
    // An entry that could not be extracted may have been an animation.
    for (const FailedEntry& entry : report.failed)
        failures_.push_back({archive.string() + "/" + entry.path,
                             std::string("not extracted: ") + describeEntryFailure(entry.reason)});
    if (report.stoppedEarly)
        failures_.push_back({archive.string(), "the archive is damaged: entries after " +
                                                   (report.lastEntryPath.empty() ? "the last one read"
                                                                                 : report.lastEntryPath) +
                                                   " are missing"});
    for (const std::string& animation : report.animPaths)
        addJob((folder / animation).string(), archive.string() + "/" + animation, relative / animation);
}

void CollectionInputs::addJob(std::string source, std::string name, const fs::path& relative) {
    const fs::path output = outputFolder_ / outputName(relative, format_);
    if (!outputs_.insert(output).second) {
        // An archive that holds a name twice: one animation, extracted last.
        const bool sameSource = std::any_of(jobs_.begin(), jobs_.end(),
                                            [&](const ConvertJob& job) { return job.source == source; });
        if (!sameSource)
            failures_.push_back({name, "another animation is converted to the same name, " + output.string()});
        return;
    }
    jobs_.push_back({std::move(source), std::move(name), output});
}

}  // namespace velarium::tool
