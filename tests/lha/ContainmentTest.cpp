// Nothing is written outside the destination. Every archive of the LHA
// corpus (and those its generator makes) is extracted into a folder nested
// four levels deep in a sandbox: once into a new folder, and once into a
// folder already holding links that point outside it, at names the archives
// use as folders and as files. Afterwards the sandbox outside the
// destination, the system temporary folder and the working folder are
// compared with snapshots taken before; inside the destination no link was
// made or followed. The same cases run again as an unprivileged user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "lha/LHATestSupport.h"
#include "lha/ReferenceArchive.h"
#include "lha/TreeSnapshot.h"
#include "support/LHAArchives.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

struct ContainmentCase {
    std::string name;        // the archive, relative to the corpus (or "generated/...")
    fs::path corpusArchive;  // empty for a generated archive
};

void PrintTo(const ContainmentCase& c, std::ostream* os) { *os << c.name; }

std::vector<ContainmentCase> containmentCases() {
    std::vector<std::pair<std::string, fs::path>> archives;
    if (haveLHACorpus()) {
        for (const char* folder : {"real/archives", "crafted", "jlha"})
            for (const auto& entry : fs::recursive_directory_iterator(lhaCorpusDir() / folder))
                if (entry.is_regular_file() && entry.path().filename().string().rfind("README", 0) != 0)
                    archives.emplace_back(fs::relative(entry.path(), lhaCorpusDir()).string(), entry.path());
        for (const std::string& name : generatedOnlyArchives()) archives.emplace_back("generated/" + name, fs::path());
        archives.emplace_back(std::string("generated/") + kLargeArchive, fs::path());
    }
    std::sort(archives.begin(), archives.end());
    std::vector<ContainmentCase> cases;
    for (const auto& [name, path] : archives) cases.push_back({name, path});
    return cases;
}

// Links placed in the destination before extracting: at names the archives
// use for folders (a write through them would land outside)...
const std::vector<std::string> kFolderLinkNames = {
    "etc", "tmp", "Anims", "anims", "Large", "subdir", "MainDir", "Docs", "Pics", "Untitled",
    "C:",  "lockeddir", "sub", "dir2", "d00", "Dossier été", "dir1", "moded"};
// ...and for files (lhasa replaces a link at the file's own name).
const std::vector<std::string> kFileLinkNames = {"first.txt", "found.anim", "top.anim", "ok1.txt", "evil1.txt",
                                                 "bad00.txt", "dup.txt",    "foo.txt",  "gpl-2",   "metadata.txt",
                                                 "ok.txt",    "empty.txt"};

class Sandbox {
public:
    Sandbox() {
        for (const fs::path& folder : {outside(1), outside(2), outside(3)}) fs::create_directories(folder);
        fs::create_directories(destination().parent_path());
    }
    fs::path root() const { return folder_ / "sandbox"; }
    fs::path destination() const { return root() / "a" / "b" / "c" / "dest"; }
    fs::path outside(int n) const { return root() / ("outside" + std::to_string(n)); }

    // Folder links point outside the destination, some by a relative path
    // that climbs out of it; file links point at "victim" files, and two are
    // dangling (a write through them would create the file outside).
    void seedLinks() {
        fs::create_directory(destination());
        int n = 0;
        for (const std::string& name : kFolderLinkNames) {
            ++n;
            if (n % 3 == 0)
                fs::create_directory_symlink(fs::path("../../../..") / ("outside" + std::to_string(n % 3 + 1)),
                                             destination() / name);
            else
                fs::create_directory_symlink(outside(n % 3 + 1), destination() / name);
        }
        for (const std::string& name : kFileLinkNames) {
            const fs::path victim = outside(1) / ("victim-" + name);
            if (name != "metadata.txt" && name != "ok.txt") std::ofstream(victim) << "victim\n";
            fs::create_symlink(victim, destination() / name);
        }
    }

private:
    TemporaryFolder folder_;
};

// Where an escaping write could land: the components of every name the
// archive holds, in the folders a relative escape reaches (the temporary
// folder, the working folder), and every absolute name as it stands.
std::vector<fs::path> escapeCandidates(const fs::path& archive) {
    std::set<std::string> components;
    std::set<fs::path> absolute;
    const auto note = [&](const std::optional<std::string>& text) {
        if (!text) return;
        if (!text->empty() && text->front() == '/') absolute.insert(*text);
        std::size_t start = 0;
        while (start <= text->size()) {
            std::size_t end = text->find('/', start);
            if (end == std::string::npos) end = text->size();
            const std::string part = text->substr(start, end - start);
            if (!part.empty() && part != "." && part != "..") components.insert(part);
            start = end + 1;
        }
    };
    for (const ReferenceEntry& entry : readReferenceEntries(archive, false)) {
        note(entry.path);
        note(entry.filename);
        note(entry.symlinkTarget);
        if (entry.path && entry.filename) note(*entry.path + *entry.filename);
    }
    std::vector<fs::path> candidates(absolute.begin(), absolute.end());
    for (const fs::path& base : {fs::path("/tmp"), fs::temp_directory_path(), fs::current_path()})
        for (const std::string& component : components) candidates.push_back(base / component);
    return candidates;
}

using PathStates = std::map<fs::path, std::optional<NodeState>>;
PathStates statesOf(const std::vector<fs::path>& paths) {
    PathStates states;
    for (const fs::path& path : paths) states[path] = nodeState(path);
    return states;
}

// Extracts `archive` into a sandbox, seeded with links or not, and checks
// that nothing outside the destination changed.
void expectContained(const fs::path& archive, bool seeded) {
    Sandbox sandbox;
    if (seeded) sandbox.seedLinks();
    const fs::path destination = sandbox.destination();
    const auto candidates = escapeCandidates(archive);
    const PathStates candidatesBefore = statesOf(candidates);
    const TreeSnapshot sandboxBefore = snapshotTree(sandbox.root(), destination);
    const TreeSnapshot destinationBefore = snapshotTree(destination);

    const ExtractionRun run = extractArchiveInto(archive, destination);

    for (const std::string& line : snapshotDifferences(sandboxBefore, snapshotTree(sandbox.root(), destination)))
        ADD_FAILURE() << "outside the destination, " << line;
    for (const auto& [path, state] : statesOf(candidates))
        EXPECT_TRUE(state == candidatesBefore.at(path)) << "changed: " << path;

    // Inside: no link was made, and each link placed before is still there,
    // or was replaced by a file of its own name (lhasa removes whatever is
    // at a file's name, and the snapshot above shows it was not followed).
    const TreeSnapshot destinationAfter = snapshotTree(destination);
    for (const auto& [path, state] : destinationAfter) {
        if (S_ISLNK(state.mode)) {
            EXPECT_TRUE(destinationBefore.count(path)) << "link made: " << path;
        }
        if (S_ISREG(state.mode)) {
            EXPECT_EQ(state.mode & 07000, 0u) << path;
            EXPECT_EQ(state.mode & 0600, 0600u) << path;
        }
    }
    for (const auto& [path, state] : destinationBefore) {
        const auto after = destinationAfter.find(path);
        if (!S_ISLNK(state.mode)) continue;
        ASSERT_NE(after, destinationAfter.end()) << "the link " << path << " was removed";
        EXPECT_TRUE(after->second == state || S_ISREG(after->second.mode))
            << "the link " << path << " became " << after->second.describe();
    }

    EXPECT_EQ(leftoverTemporaries(destination), std::vector<std::string>{});
    // Everything reported as written lies on a path without links.
    if (!run.succeeded) return;
    for (const std::string& relative : run.report.extracted) {
        fs::path path = destination;
        for (const fs::path& component : fs::path(relative)) {
            path /= component;
            const auto state = nodeState(path);
            ASSERT_TRUE(state.has_value()) << "reported but missing: " << relative;
            EXPECT_FALSE(S_ISLNK(state->mode)) << relative << " runs through the link " << path;
        }
    }
}

class Containment : public ::testing::TestWithParam<ContainmentCase> {};

TEST_P(Containment, NothingIsWrittenOutsideTheDestination) {
    const ContainmentCase& c = GetParam();
    fs::path archive = c.corpusArchive;
    if (archive.empty()) {
        const auto generated = GeneratedArchives::shared().archive(fs::path(c.name).filename().string());
        if (!generated) GTEST_SKIP() << "python3 could not make " << c.name;
        archive = *generated;
    }
    {
        SCOPED_TRACE("into a new folder");
        expectContained(archive, false);
    }
    SCOPED_TRACE("into a folder holding links that point outside");
    expectContained(archive, true);
}

std::string containmentTestName(const ::testing::TestParamInfo<ContainmentCase>& info) {
    return testNameFrom(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Corpus, Containment, ::testing::ValuesIn(containmentCases()), containmentTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Containment);

}  // namespace
}  // namespace velarium
