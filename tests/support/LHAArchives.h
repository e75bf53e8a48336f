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
#include <memory>
#include <mutex>
#include <optional>

#include "support/Corpus.h"
#include "support/TemporaryFolder.h"

extern char** environ;

namespace velarium::testing {

inline std::filesystem::path lhaCorpusDir() { return corpusDir() / "lha"; }
inline bool haveLHACorpus() { return std::filesystem::is_directory(lhaCorpusDir() / "crafted"); }

// Crafted archives the generator makes that the corpus folder does not hold.
inline const std::vector<std::string> kGeneratedOnlyArchives = {"broken_garbage_after2.lzh", "duplicates.lzh",
                                                                "traversal_tricky.lzh", "weird_names.lzh"};
inline constexpr const char* kLargeArchive = "large_stored.lzh";

// A crafted archive by name (see kGeneratedOnlyArchives), or the 50 MB one
// (kLargeArchive); nothing when it cannot be made.
inline std::optional<std::filesystem::path> generatedArchive(const std::string& name) {
    const char* subfolder = name == kLargeArchive ? "large" : "crafted";
    if (const char* fixture = std::getenv("VELARIUM_LHA_GENERATED_DIR")) {
        const auto path = std::filesystem::path(fixture) / subfolder / name;
        if (std::filesystem::is_regular_file(path)) return path;
    }
    static std::mutex mutex;
    static std::unique_ptr<TemporaryFolder> folder;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!haveLHACorpus()) return std::nullopt;
    if (!folder) folder = std::make_unique<TemporaryFolder>();
    const auto path = folder->path() / subfolder / name;
    if (!std::filesystem::exists(path.parent_path())) {
        // python3 make_crafted.py FOLDER --large-only|--no-large
        const std::string script = (lhaCorpusDir() / "tools" / "make_crafted.py").string(),
                          out = path.parent_path().string();
        const char* option = name == kLargeArchive ? "--large-only" : "--no-large";
        std::vector<char*> argv = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                                   const_cast<char*>(out.c_str()), const_cast<char*>(option), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawnp(&pid, "python3", nullptr, nullptr, argv.data(), environ) == 0)
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
    }
    if (std::filesystem::is_regular_file(path)) return path;
    return std::nullopt;
}

}  // namespace velarium::testing
