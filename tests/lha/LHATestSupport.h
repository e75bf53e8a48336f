#pragma once

// Running the extraction engine in tests.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lha/ArchiveExtractor.h"

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

// Temporary names of the engine's (".velarium-…") left anywhere under `root`.
inline std::vector<std::string> leftoverTemporaries(const std::filesystem::path& root) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->path().filename().string().rfind(".velarium-", 0) == 0) found.push_back(it->path().string());
    return found;
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A test name from any text: what a test name cannot hold becomes '_'.
inline std::string testNameFrom(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

}  // namespace velarium::testing
