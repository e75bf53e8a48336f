#pragma once

// The corpus's LHA archives, those its generator makes (once per ctest run in
// VELARIUM_LHA_GENERATED_DIR, else per process; tests skip without python3),
// and snapshots that prove a folder tree unchanged.

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "support/Corpus.h"
#include "support/TemporaryFolder.h"

extern char** environ;

namespace velarium::testing {

inline std::filesystem::path lhaCorpusDir() { return corpusDir() / "lha"; }
inline bool haveLHACorpus() { return std::filesystem::is_directory(lhaCorpusDir() / "crafted"); }

inline const std::vector<std::string> kGeneratedOnlyArchives = {"broken_garbage_after2.lzh", "duplicates.lzh",
                                                                "traversal_tricky.lzh", "weird_names.lzh"};
inline constexpr const char* kLargeArchive = "large_stored.lzh";

// A crafted archive the corpus does not keep, or the 50 MB one; nothing when it cannot be made.
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
        const std::string script = (lhaCorpusDir() / "tools" / "make_crafted.py").string(), out = path.parent_path().string();
        const char* argv[] = {"python3", script.c_str(), out.c_str(), name == kLargeArchive ? "--large-only" : "--no-large",
                              nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "python3", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0)
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
    }
    return std::filesystem::is_regular_file(path) ? std::optional(path) : std::nullopt;
}

// All zero when there is nothing.
inline struct stat lstatOf(const std::filesystem::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

// Type, permissions, size, time and link target, links not followed ("" for
// nothing); not a folder's size and time, which its entries change.
inline std::string nodeState(const std::filesystem::path& path) {
    const struct stat info = lstatOf(path);
    if (info.st_mode == 0) return {};
    std::ostringstream state;
    state << "mode " << std::oct << info.st_mode << std::dec;
    if (!S_ISDIR(info.st_mode)) state << ", " << info.st_size << " bytes, mtime " << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec;
    if (S_ISLNK(info.st_mode)) state << ", -> " << std::filesystem::read_symlink(path).string();
    return state.str();
}

// Everything under `root` by relative path (links not followed), except the subtree `skip`.
using TreeSnapshot = std::map<std::string, std::string>;
inline TreeSnapshot snapshotTree(const std::filesystem::path& root, const std::filesystem::path& skip = {}) {
    TreeSnapshot snapshot;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!skip.empty() && it->path() == skip) it.disable_recursion_pending();
        else snapshot[it->path().lexically_relative(root).string()] = nodeState(it->path());
    }
    return snapshot;
}

// Temporary names of the engine's (".velarium-…") left anywhere under `root`.
inline std::vector<std::string> leftoverTemporaries(const std::filesystem::path& root) {
    std::vector<std::string> found;
    for (const auto& [path, state] : snapshotTree(root))
        if (std::filesystem::path(path).filename().string().rfind(".velarium-", 0) == 0) found.push_back(path);
    return found;
}

}  // namespace velarium::testing
