// libFuzzer target: extracts the input, from memory, as an LHA archive into
// a fresh destination and aborts when anything outside it changed. The
// destination lies in a private scratch root beside a canary file, a canary
// folder and a link to a watched folder outside the root, and starts with
// links that point out of it, at names archives use for folders and files.
// After each input it must hold no link but those and no temporary file of
// the engine's. Archives that declare more than a few MiB are skipped, so
// that every input stays quick.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "lha/ArchiveExtractor.h"

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> kSeededLinks = {
    {"etc", "../outside-link"}, {"Anims", "../canary-folder"}, {"first.txt", "../canary.txt"},
    {"dir", "/"},               {"x", "../../"},              {"a", "../outside-link/file"},
};

// Path → type and mode, size, time and link target (a folder's size and time
// are left out: its entries change them).
using Snapshot = std::map<std::string, std::string>;

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
            if (name.starts_with(prefix) && ::kill(std::atoi(name.c_str() + prefix.size()), 0) != 0 && errno == ESRCH)
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
        std::ofstream(root / "canary.txt") << "canary\n";
        std::ofstream(root / "canary-folder" / "inside.txt");
        std::ofstream(outside / "file");
        fs::create_directory_symlink(outside, root / "outside-link");
        before = state();
    }

    // Everything in the process's scratch folder but the destination.
    Snapshot state() const {
        Snapshot nodes;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(parent, error); it != fs::recursive_directory_iterator();
             it.increment(error)) {
            struct stat info {};
            if (it->path() == destination) it.disable_recursion_pending();
            if (it->path() == destination || ::lstat(it->path().c_str(), &info) != 0) continue;
            std::string& node = nodes[it->path().string()] = std::to_string(info.st_mode);
            if (!S_ISDIR(info.st_mode))
                node += " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                        std::to_string(info.st_mtim.tv_nsec);
            if (S_ISLNK(info.st_mode)) node += " -> " + fs::read_symlink(it->path(), error).string();
        }
        return nodes;
    }

    void freshDestination() const {
        std::error_code ignored;
        fs::remove_all(destination, ignored);
        fs::create_directory(destination);
        for (const auto& [name, target] : kSeededLinks) fs::create_symlink(target, destination / name);
    }

    // Inside the destination, a file of the engine's temporary names is one
    // only when no entry of the report has it (archives may hold any name).
    void check(const velarium::ExtractionReport& report) const {
        std::set<fs::path> reported;
        for (const auto* list : {&report.extracted, &report.keptExisting})
            for (const std::string& path : *list) reported.insert(destination / path);
        for (const velarium::FailedEntry& entry : report.failed) reported.insert(destination / entry.path);
        if (const Snapshot after = state(); after != before) {
            const auto [was, is] = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
            escaped("changed outside the destination: " + (was != before.end() ? was->first : is->first));
        }
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(destination, error); it != fs::recursive_directory_iterator();
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.starts_with(".velarium-") && !it->is_directory() && !reported.count(it->path()))
                escaped("temporary file left: " + it->path().string());
            const bool seeded = it->path().parent_path() == destination && kSeededLinks.count(name);
            if (it->is_symlink() && !seeded) escaped("link made: " + it->path().string());
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velarium;
    static const Scratch scratch;
    const ArchiveSource archive = ArchiveSource::inMemory(data, size, "fuzz.lzh");
    {
        ArchiveExtractor measuring(archive, scratch.destination);
        if (!measuring.measureArchive(nullptr) || measuring.report().totalBytes > (4u << 20)) return 0;
    }
    scratch.freshDestination();
    // Both ways with files already there, chosen by the input itself.
    ArchiveExtractor extractor(archive, scratch.destination, size % 2 ? ExistingFiles::Keep : ExistingFiles::Replace);
    extractor.extractArchive({}, nullptr);
    scratch.check(extractor.report());
    return 0;
}
