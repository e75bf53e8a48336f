// `convert`: animations handed on as APNG, WebP, GIF, WebM or MP4 through the
// exporter, one file or whole collections, with a report of what failed.
#include "tools/velarium-tool/ConvertCommand.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "export/ExportError.h"
#include "export/Exporter.h"
#include "lha/ANIMSignature.h"
#include "platform/foundation/EscapedText.h"
#include "export/AnimationFile.h"
#include "tools/velarium-tool/ConvertInputs.h"
#include "tools/velarium-tool/InterruptHandler.h"
#include "tools/velarium-tool/ProgressBar.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr int kExitIncomplete = 2;  // converted, but not everything

// Ctrl-C (or SIGTERM) sets the flag every export polls per frame: each stops,
// removes its temporary file, and the private archive folders go when the
// command returns. The handler stays in place, so that a second Ctrl-C
// cannot end the tool while it is cleaning up.
std::atomic<bool> gCancelled{false};  // lock-free, so safe in a handler

void cancelConversion(int) { gCancelled = true; }

// A failure's one line: "velarium-tool: PATH: reason", escaped for the terminal.
void reportFailure(const ConvertFailure& failure) {
    std::fprintf(stderr, "velarium-tool: %s: %s\n", escapedText(failure.path).c_str(),
                 escapedText(failure.reason).c_str());
}

int nothingDone(const std::string& path, const std::string& reason) {
    reportFailure({path, reason});
    return kExitFailure;
}

std::string describe(const Error& error) {
    std::string text = error.localizedDescription;
    if (!error.recoverySuggestion.empty()) text += " " + error.recoverySuggestion;
    return text;
}

struct Outcome {
    bool done = false;  // converted, or failed with `error`; false when never started
    bool converted = false;
    exporter::ExportReport report;
    Error error;
};

// Runs the jobs on `workers` threads (the calling one when 1), in the
// order given, until they are all done or the command is cancelled.
class Conversion {
public:
    Conversion(const std::vector<ConvertJob>& jobs, const exporter::ExportOptions& options, bool createFolders)
        : jobs_(jobs), options_(options), createFolders_(createFolders), outcomes_(jobs.size()),
          fractions_(jobs.size(), 0.0) {}

    std::vector<Outcome> run(unsigned workers) {
        workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs_.size())));
        if (workers == 1) {
            work();
        } else {
            std::vector<std::thread> threads;
            for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { work(); });
            for (std::thread& thread : threads) thread.join();
        }
        bar_.clear();
        removeEmptyFolders();
        return std::move(outcomes_);
    }

private:
    void work() {
        for (std::size_t index = next_++; index < jobs_.size() && !gCancelled; index = next_++) convert(index);
    }

    void convert(std::size_t index) {
        const ConvertJob& job = jobs_[index];
        Outcome& outcome = outcomes_[index];
        outcome.done = true;
        {
            const std::lock_guard<std::mutex> lock(barMutex_);
            bar_.setFile(job.name, index + 1, jobs_.size());
        }
        if (createFolders_) {
            std::vector<fs::path> missing;
            std::error_code error;
            for (fs::path folder = job.output.parent_path(); !folder.empty() && !fs::exists(folder, error);
                 folder = folder.parent_path())
                missing.push_back(folder);
            fs::create_directories(job.output.parent_path(), error);
            {
                const std::lock_guard<std::mutex> lock(foldersMutex_);
                createdFolders_.insert(createdFolders_.end(), missing.begin(), missing.end());
            }
            if (error) {
                outcome.error = Error("", 0, "the folder " + job.output.parent_path().string() +
                                                 " cannot be created: " + error.message());
                return;
            }
        }
        exporter::ExportObserver observer;
        observer.cancelled = &gCancelled;
        observer.progress = [this, index](double fraction) { setFraction(index, fraction); };
        outcome.converted = exporter::exportAnimation(job.source, job.output.string(), optionsFor(job), observer,
                                                      &outcome.report, &outcome.error);
        setFraction(index, 1.0);
    }

    // The options with the file's own pixel aspect, which only the
    // container's bitmap header records, when the aspect is to be corrected.
    exporter::ExportOptions optionsFor(const ConvertJob& job) const {
        exporter::ExportOptions options = options_;
        if (!options.correctAspect) return options;
        if (const auto parser = exporter::openAnimation(job.source, nullptr)) {
            options.xAspect = parser->bitmapHeader().xAspect;
            options.yAspect = parser->bitmapHeader().yAspect;
        }
        return options;
    }

    // The folders made for outputs that failed are not left behind empty;
    // removing a folder fails harmlessly while something is in it.
    void removeEmptyFolders() {
        std::sort(createdFolders_.begin(), createdFolders_.end(),
                  [](const fs::path& a, const fs::path& b) { return a.native().size() > b.native().size(); });
        for (const fs::path& folder : createdFolders_) {
            std::error_code ignored;
            fs::remove(folder, ignored);
        }
    }

    void setFraction(std::size_t index, double fraction) {
        const std::lock_guard<std::mutex> lock(barMutex_);
        fractions_[index] = fraction;
        double sum = 0;
        for (double value : fractions_) sum += value;
        bar_.setValue(sum / static_cast<double>(fractions_.size()));
    }

    const std::vector<ConvertJob>& jobs_;
    const exporter::ExportOptions& options_;
    const bool createFolders_;
    std::vector<Outcome> outcomes_;
    std::atomic<std::size_t> next_{0};
    std::mutex barMutex_;
    std::vector<double> fractions_;
    ProgressBar bar_;
    std::mutex foldersMutex_;
    std::vector<fs::path> createdFolders_;
};

// One line per output; a collection ends with the count.
void printSummary(const std::vector<ConvertJob>& jobs, const std::vector<Outcome>& outcomes, std::size_t converted,
                  bool collection) {
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!outcomes[i].converted) continue;
        const exporter::ExportReport& report = outcomes[i].report;
        std::printf("%s -> %s: %llu frames", escapedText(jobs[i].name).c_str(),
                    escapedText(jobs[i].output.string()).c_str(), static_cast<unsigned long long>(report.frames));
        if (report.mergedPictures > 0)
            std::printf(", %llu merged", static_cast<unsigned long long>(report.mergedPictures));
        if (report.droppedPictures > 0)
            std::printf(", %llu dropped", static_cast<unsigned long long>(report.droppedPictures));
        if (report.laps > 1) std::printf(", %llu laps", static_cast<unsigned long long>(report.laps));
        if (report.mergedCycleSteps > 0)
            std::printf(", %llu cycle steps merged (at most %u pictures a second)",
                        static_cast<unsigned long long>(report.mergedCycleSteps),
                        report.cyclePicturesPerSecond);
        std::printf(", %.3f s\n", report.duration.seconds());
    }
    if (collection)
        std::printf("Converted %zu of %zu %s.\n", converted, jobs.size(), jobs.size() == 1 ? "animation" : "animations");
}

Json reportJson(const std::vector<ConvertJob>& jobs, const std::vector<Outcome>& outcomes,
                const std::vector<ConvertFailure>& failures, std::size_t converted, bool cancelled) {
    Json failed = Json::array();
    for (const ConvertFailure& failure : failures) failed.push_back({{"path", failure.path}, {"reason", failure.reason}});
    Json outputs = Json::array();
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!outcomes[i].converted) continue;
        const exporter::ExportReport& report = outcomes[i].report;
        outputs.push_back({{"source", jobs[i].name},
                           {"output", jobs[i].output.string()},
                           {"frames", report.frames},
                           {"mergedPictures", report.mergedPictures},
                           {"droppedPictures", report.droppedPictures},
                           {"laps", report.laps},
                           {"mergedCycleSteps", report.mergedCycleSteps},
                           {"duration", report.duration.seconds()}});
    }
    return Json{{"inputs", jobs.size()},
                {"converted", converted},
                {"failed", failed},
                {"outputs", outputs},
                {"cancelled", cancelled}};
}

// Several inputs, a folder, an archive, or an existing folder to write into.
bool isCollection(const ConvertOptions& options) {
    std::error_code ignored;
    if (options.inputs.size() != 1 || fs::is_directory(options.output, ignored)) return true;
    const fs::path input = options.inputs.front();
    return fs::is_directory(input, ignored) || (!hasANIMSignature(input) && isLHAArchive(input));
}

// The output folder of a collection, created when missing.
bool prepareOutputFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) {
        reportFailure({folder.string(), "the folder cannot be created: " +
                                            (error ? error.message() : std::string("a file has its name"))});
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        reportFailure({folder.string(), "the folder cannot be written: " + std::error_code(errno, std::generic_category()).message()});
        return false;
    }
    return true;
}

}  // namespace

int runConvertCommand(const ConvertOptions& options) {
    gCancelled = false;
    const InterruptHandler interrupt(cancelConversion, false);
    exporter::ExportOptions exportOptions = options.exportOptions;
    const bool collection = isCollection(options);

    std::vector<ConvertJob> singleJob;
    std::optional<CollectionInputs> inputs;
    std::vector<ConvertFailure> failures;
    std::error_code ignored;
    bool outputFolderExisted = true;
    if (!collection) {
        if (!fs::exists(options.inputs.front(), ignored))
            return nothingDone(options.inputs.front(),
                               ignored ? ignored.message() : std::make_error_code(std::errc::no_such_file_or_directory).message());
        const auto format = options.format ? options.format : exporter::formatForPath(options.output);
        if (!format)
            return nothingDone(options.output, "the format cannot be told from the name: give --format");
        exportOptions.format = *format;
        singleJob.push_back({options.inputs.front(), options.inputs.front(), options.output});
    } else {
        if (!options.format)
            return nothingDone(options.output, "converting into a folder needs --format");
        exportOptions.format = *options.format;
        inputs.emplace(options.output, *options.format, gCancelled);
        for (const std::string& input : options.inputs) inputs->add(input);
        failures = inputs->failures();
        if (inputs->jobs().empty()) {
            for (const ConvertFailure& failure : failures) reportFailure(failure);
            if (failures.empty() && !gCancelled)
                reportFailure({options.inputs.size() == 1 ? options.inputs.front() : options.output,
                               "no animations found"});
            return kExitFailure;
        }
        outputFolderExisted = fs::exists(options.output, ignored);
        if (!prepareOutputFolder(options.output)) return kExitFailure;
    }
    const std::vector<ConvertJob>& jobs = collection ? inputs->jobs() : singleJob;

    const std::vector<Outcome> outcomes = Conversion(jobs, exportOptions, collection).run(options.jobs);
    if (!outputFolderExisted) fs::remove(options.output, ignored);  // only when nothing went in
    const bool cancelled = gCancelled;
    std::size_t converted = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (outcomes[i].converted) ++converted;
        else if (outcomes[i].done && !(cancelled && outcomes[i].error.code == exporter::kExportErrorCancelled))
            failures.push_back({jobs[i].name, describe(outcomes[i].error)});
    }
    for (const ConvertFailure& failure : failures) reportFailure(failure);
    if (cancelled)
        std::fprintf(stderr, "velarium-tool: cancelled: %zu of %zu animations converted\n", converted, jobs.size());
    if (options.json)
        std::printf("%s\n", reportJson(jobs, outcomes, failures, converted, cancelled)
                                .dump(2, ' ', false, Json::error_handler_t::replace)
                                .c_str());
    else
        printSummary(jobs, outcomes, converted, collection);
    return failures.empty() && !cancelled ? kExitSuccess : kExitIncomplete;
}

}  // namespace velarium::tool
