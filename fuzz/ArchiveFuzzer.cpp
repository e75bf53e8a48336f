// libFuzzer target: extracts the input, from memory, as an LHA archive into
// a fresh folder and stops the run when anything outside that folder
// changed. The folder lies in a private scratch root beside a canary file,
// a canary folder and a link to a folder outside the root, which is watched
// too. The destination starts with links that point out of it, at names
// archives use for folders and files. After each input the destination must hold no
// link but those and no temporary name of the engine's; it is then removed.
// Archives that declare more than a few MiB are skipped, so that every input
// stays quick.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "lha/ArchiveExtractor.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMostDeclaredBytes = 4u << 20;

// Links placed in the destination before each input: name → target.
const std::map<std::string, std::string> kSeededLinks = {
    {"etc", "../outside-link"}, {"Anims", "../canary-folder"}, {"first.txt", "../canary.txt"},
    {"dir", "/"},               {"x", "../../"},              {"a", "../outside-link/file"},
};

struct Node {
    mode_t mode;
    off_t size;
    long long mtime;
    std::string target;
    bool operator==(const Node&) const = default;
};
using Snapshot = std::map<std::string, Node>;

Snapshot snapshot(const fs::path& root, const fs::path& skip) {
    Snapshot nodes;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0) continue;
        Node node{info.st_mode, S_ISDIR(info.st_mode) ? 0 : info.st_size,
                  S_ISDIR(info.st_mode) ? 0 : info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec, {}};
        if (S_ISLNK(info.st_mode)) node.target = fs::read_symlink(it->path(), error).string();
        nodes[it->path().string()] = node;
    }
    return nodes;
}

[[noreturn]] void escaped(const std::string& what) {
    std::fprintf(stderr, "archive_fuzzer: %s\n", what.c_str());
    std::abort();
}

struct Scratch {
    fs::path parent, root, outside, destination;
    Snapshot before;

    // The scratch folders of one process live in one folder named by its
    // process id: libFuzzer ends with _Exit, so no process removes its own;
    // each removes those of processes that have gone.
    Scratch() {
        const fs::path base = fs::temp_directory_path();
        const std::string prefix = "velarium-archive-fuzz-";
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(base, ignored)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && ::kill(std::atoi(name.c_str() + prefix.size()), 0) != 0 && errno == ESRCH)
                fs::remove_all(entry.path(), ignored);
        }
        std::string folder = (base / (prefix + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (!::mkdtemp(folder.data())) escaped("cannot make the scratch folders");
        parent = folder;
        root = parent / "root";
        outside = parent / "outside";
        destination = root / "destination";
        fs::create_directories(root / "canary-folder");
        fs::create_directory(outside);
        std::FILE* canary = std::fopen((root / "canary.txt").c_str(), "w");
        std::fputs("canary\n", canary);
        std::fclose(canary);
        std::fclose(std::fopen((root / "canary-folder" / "inside.txt").c_str(), "w"));
        std::fclose(std::fopen((outside / "file").c_str(), "w"));
        fs::create_directory_symlink(outside, root / "outside-link");
        before = state();
    }

    static Scratch& instance() {
        static Scratch scratch;
        return scratch;
    }

    // Everything in the process's scratch folder but the destination: the
    // root with its canaries, and the folder outside it.
    Snapshot state() const { return snapshot(parent, destination); }

    void freshDestination() const {
        std::error_code ignored;
        fs::remove_all(destination, ignored);
        fs::create_directory(destination);
        for (const auto& [name, target] : kSeededLinks) fs::create_symlink(target, destination / name);
    }

    // Nothing outside the destination changed; inside it, no link but the
    // seeded ones remain, and no temporary file: a file of that name is one
    // only when no entry of the report has it (archives may hold any name).
    void check(const velarium::ExtractionReport& report) const {
        std::set<fs::path> reported;
        for (const auto* list : {&report.extracted, &report.keptExisting})
            for (const std::string& path : *list) reported.insert(destination / path);
        for (const velarium::FailedEntry& entry : report.failed) reported.insert(destination / entry.path);
        const Snapshot after = state();
        for (const auto& [path, node] : before) {
            const auto found = after.find(path);
            if (found == after.end()) escaped("removed outside the destination: " + path);
            if (!(found->second == node)) escaped("changed outside the destination: " + path);
        }
        for (const auto& [path, node] : after)
            if (!before.count(path)) escaped("made outside the destination: " + path);
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(destination, error); it != fs::recursive_directory_iterator();
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.rfind(".velarium-", 0) == 0 && !it->is_directory() && !reported.count(it->path()))
                escaped("temporary file left: " + it->path().string());
            const bool seeded = it->path().parent_path() == destination && kSeededLinks.count(name);
            if (it->is_symlink() && !seeded) escaped("link made: " + it->path().string());
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velarium;
    const Scratch& scratch = Scratch::instance();
    const ArchiveSource archive = ArchiveSource::inMemory(data, size, "fuzz.lzh");
    {
        ArchiveExtractor measuring(archive, scratch.destination);
        if (!measuring.measureArchive(nullptr) || measuring.report().totalBytes > kMostDeclaredBytes) return 0;
    }
    scratch.freshDestination();
    // Both ways with files already there, chosen by the input itself.
    const ExistingFiles existing = size % 2 ? ExistingFiles::Keep : ExistingFiles::Replace;
    ArchiveExtractor extractor(archive, scratch.destination, existing);
    extractor.extractArchive({}, nullptr);
    scratch.check(extractor.report());
    return 0;
}
