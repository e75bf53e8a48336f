#pragma once

// The state of a folder tree (or of single paths), read without following
// links, to prove afterwards that nothing changed.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace velarium::testing {

struct NodeState {
    mode_t mode = 0;  // type and permission bits
    std::uintmax_t size = 0;
    long long mtimeNanoseconds = 0;
    std::string linkTarget;

    bool operator==(const NodeState&) const = default;
    std::string describe() const {
        std::ostringstream text;
        text << "mode " << std::oct << mode << std::dec << ", " << size << " bytes, mtime " << mtimeNanoseconds;
        if (!linkTarget.empty()) text << ", -> " << linkTarget;
        return text.str();
    }
};

inline std::optional<NodeState> nodeState(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    NodeState state{info.st_mode, static_cast<std::uintmax_t>(info.st_size),
                    static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec, {}};
    if (S_ISLNK(info.st_mode)) {
        std::error_code ignored;
        state.linkTarget = std::filesystem::read_symlink(path, ignored).string();
    }
    // A folder's size and mtime change as entries come and go inside it;
    // those entries are compared themselves.
    if (S_ISDIR(info.st_mode)) state.size = 0, state.mtimeNanoseconds = 0;
    return state;
}

using TreeSnapshot = std::map<std::string, NodeState>;

// Everything under `root` (links not followed), except the subtree `skip`.
inline TreeSnapshot snapshotTree(const std::filesystem::path& root, const std::filesystem::path& skip = {}) {
    TreeSnapshot snapshot;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!skip.empty() && it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        if (const auto state = nodeState(it->path())) snapshot[it->path().string()] = *state;
    }
    return snapshot;
}

// What differs between two snapshots, one line per path.
inline std::vector<std::string> snapshotDifferences(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::vector<std::string> lines;
    for (const auto& [path, state] : before) {
        const auto found = after.find(path);
        if (found == after.end())
            lines.push_back("removed: " + path);
        else if (!(found->second == state))
            lines.push_back("changed: " + path + " (" + state.describe() + " -> " + found->second.describe() + ")");
    }
    for (const auto& [path, state] : after)
        if (!before.count(path)) lines.push_back("added: " + path + " (" + state.describe() + ")");
    return lines;
}

}  // namespace velarium::testing
