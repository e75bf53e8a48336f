// `extract`: an LHA archive into a folder, through the same engine as the
// application, with a report of everything that was not extracted.
#include "tools/velarium-tool/ExtractCommand.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "lha/ArchiveExtractor.h"
#include "platform/foundation/EscapedText.h"
#include "tools/velarium-tool/InterruptHandler.h"
#include "tools/velarium-tool/ProgressBar.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kExitIncomplete = 2;  // extracted, but not everything

// The folder the application's save dialog proposes: the archive's name
// without its extension, beside the archive.
std::filesystem::path defaultDestination(const std::filesystem::path& archive) {
    std::string base = archive.stem().string();
    if (base.empty()) base = archive.filename().string();
    return archive.parent_path() / base;
}

// The one line of a failure: "velarium-tool: FILE: description suggestion".
int reportFailure(const std::string& file, const Error& error) {
    std::string message = error.localizedDescription;
    if (!error.recoverySuggestion.empty()) message += " " + error.recoverySuggestion;
    std::fprintf(stderr, "velarium-tool: %s: %s\n", escapedText(file).c_str(), escapedText(message).c_str());
    return kExitFailure;
}

// Ctrl-C (or SIGTERM) during extraction stops it before the next entry, so
// that what is being written is finished and reported; a second one ends
// the tool at once.
std::atomic<ArchiveExtractor*> gInterruptible{nullptr};  // lock-free, so safe in a handler

void cancelExtraction(int) {
    if (ArchiveExtractor* extractor = gInterruptible) extractor->cancel();
}

void printList(const char* heading, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::printf("%s\n", heading);
    for (const std::string& path : paths) std::printf("  %s\n", escapedText(path).c_str());
}

void printReport(const ExtractionReport& report, const std::filesystem::path& destination) {
    const std::size_t written = report.extracted.size();
    std::printf("Extracted %zu %s into %s\n", written, written == 1 ? "entry" : "entries",
                escapedText(destination.string()).c_str());
    if (!report.failed.empty()) {
        std::printf("Not extracted:\n");
        for (const FailedEntry& entry : report.failed)
            std::printf("  %s: %s\n", escapedText(entry.path).c_str(), describeEntryFailure(entry.reason));
    }
    printList("Already there, left alone (--force replaces them):", report.keptExisting);
    printList("Symbolic links, not extracted:", report.skippedLinks);
    if (report.stoppedEarly) {
        const std::string after =
            report.lastEntryPath.empty() ? "the last one read" : escapedText(report.lastEntryPath);
        std::printf("The archive is damaged: entries after %s are missing.\n", after.c_str());
    }
    if (report.cancelled) std::printf("Cancelled: the entries after the last one written were not extracted.\n");
    printList("Animations:", report.animPaths);
}

Json reportJson(const ExtractOptions& options, const std::filesystem::path& destination,
                const ExtractionReport& report) {
    Json failed = Json::array();
    for (const FailedEntry& entry : report.failed)
        failed.push_back({{"path", entry.path}, {"reason", describeEntryFailure(entry.reason)}});
    return Json{
        {"archive", options.archive},
        {"destination", destination.string()},
        {"files", report.fileCount},
        {"bytes", report.totalBytes},
        {"extracted", report.extracted},
        {"failed", failed},
        {"keptExisting", report.keptExisting},
        {"skippedLinks", report.skippedLinks},
        {"animations", report.animPaths},
        {"stoppedEarly", report.stoppedEarly},
        {"cancelled", report.cancelled},
    };
}

}  // namespace

int runExtractCommand(const ExtractOptions& options) {
    const std::filesystem::path archive = options.archive;
    const std::filesystem::path destination =
        options.destination.empty() ? defaultDestination(archive) : std::filesystem::path(options.destination);

    Error error;
    if (!prepareDestination(destination, &error)) return reportFailure(destination.string(), error);

    ArchiveExtractor extractor(archive, destination, options.force ? ExistingFiles::Replace : ExistingFiles::Keep);
    ProgressBar bar;
    ExtractionObserver observer;
    observer.currentFile = [&bar](const std::string& path, std::uint64_t index, std::uint64_t count) {
        bar.setFile(path, index, count);
    };
    observer.progress = [&bar](double value) { bar.setValue(value); };
    bool extracted = false;
    {
        gInterruptible = &extractor;
        const InterruptHandler interrupt(cancelExtraction, true);
        extracted = extractor.extractArchive(observer, &error);
        gInterruptible = nullptr;
    }
    bar.clear();
    if (!extracted) return reportFailure(options.archive, error);

    const ExtractionReport& report = extractor.report();
    if (options.json)
        std::printf("%s\n",
                    reportJson(options, destination, report).dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    else
        printReport(report, destination);
    const bool complete = report.failed.empty() && report.keptExisting.empty() && report.skippedLinks.empty() &&
                          !report.stoppedEarly && !report.cancelled;
    return complete ? kExitSuccess : kExitIncomplete;
}

}  // namespace velarium::tool
