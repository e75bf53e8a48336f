#pragma once

// Running the extraction engine in tests.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "lha/ArchiveExtractor.h"

namespace velarium::testing {

struct ExtractionRun {
    bool succeeded = false;
    Error error;
    ExtractionReport report;
};

// prepareDestination, then both passes, as the application runs them.
inline ExtractionRun extractArchiveInto(const std::filesystem::path& archive, const std::filesystem::path& destination,
                                        const ExtractionObserver& observer = {}) {
    ExtractionRun run;
    if (!prepareDestination(destination, &run.error)) return run;
    ArchiveExtractor extractor(archive, destination);
    run.succeeded = extractor.extractArchive(observer, &run.error);
    run.report = extractor.report();
    return run;
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
