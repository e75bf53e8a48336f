#pragma once

// The LHA archives of the shared corpus, and those its generator makes at
// test time (the 50 MB one, and crafted archives the corpus does not keep).
// Under ctest a fixture makes them once per run and names the folder in
// VELARIUM_LHA_GENERATED_DIR; a test program run by hand makes them once per
// process in a temporary folder. Tests skip when python3 is missing.

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/Corpus.h"
#include "support/TemporaryFolder.h"

extern char** environ;

namespace velarium::testing {

inline std::filesystem::path lhaCorpusDir() { return corpusDir() / "lha"; }
inline bool haveLHACorpus() { return std::filesystem::is_directory(lhaCorpusDir() / "crafted"); }
inline std::filesystem::path lhaGenerator() { return lhaCorpusDir() / "tools" / "make_crafted.py"; }

// Crafted archives the generator makes that the corpus folder does not hold.
inline const std::vector<std::string>& generatedOnlyArchives() {
    static const std::vector<std::string> names = {"broken_garbage_after2.lzh", "duplicates.lzh",
                                                   "traversal_tricky.lzh", "weird_names.lzh"};
    return names;
}
inline constexpr const char* kLargeArchive = "large_stored.lzh";

// Runs python3 with the generator; false when it could not be run or failed.
inline bool runGenerator(const std::filesystem::path& folder, const char* option) {
    const std::string script = lhaGenerator().string(), out = folder.string();
    std::vector<char*> argv = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                               const_cast<char*>(out.c_str()), const_cast<char*>(option), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "python3", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class GeneratedArchives {
public:
    static GeneratedArchives& shared() {
        static GeneratedArchives archives;
        return archives;
    }

    // A crafted archive by name (see generatedOnlyArchives), or the 50 MB
    // one (kLargeArchive); nothing when it cannot be made.
    std::optional<std::filesystem::path> archive(const std::string& name) {
        const bool large = name == kLargeArchive;
        const char* subfolder = large ? "large" : "crafted";
        if (const char* fixture = std::getenv("VELARIUM_LHA_GENERATED_DIR")) {
            const auto path = std::filesystem::path(fixture) / subfolder / name;
            if (std::filesystem::is_regular_file(path)) return path;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (!haveLHACorpus()) return std::nullopt;
        if (!folder_) folder_ = std::make_unique<TemporaryFolder>();
        const auto path = folder_->path() / subfolder / name;
        if (!std::filesystem::exists(folder_->path() / subfolder))
            runGenerator(folder_->path() / subfolder, large ? "--large-only" : "--no-large");
        if (std::filesystem::is_regular_file(path)) return path;
        return std::nullopt;
    }

private:
    std::mutex mutex_;
    std::unique_ptr<TemporaryFolder> folder_;
};

}  // namespace velarium::testing
