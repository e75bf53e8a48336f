// Nothing is written outside the destination. Every archive of the LHA
// corpus (and those its generator makes) is extracted into a folder nested
// four levels deep in a sandbox: once into a new folder, and once into a
// folder already holding links that point outside it, at names the archives
// use as folders and as files. Afterwards the sandbox outside the
// destination, and every name of the archive in the system temporary folder
// and the working folder, are compared with what was there before; inside
// the destination no link was made or followed and no temporary file stays.
// The same cases run again as an unprivileged user.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "lha/LHATestSupport.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// Archives by their path in the corpus, or "generated/NAME".
std::vector<std::string> containmentCases() {
    std::vector<std::string> cases;
    if (!haveLHACorpus()) return cases;
    for (const char* folder : {"real/archives", "crafted", "jlha"})
        for (const auto& entry : fs::recursive_directory_iterator(lhaCorpusDir() / folder))
            if (entry.is_regular_file() && entry.path().filename().string().rfind("README", 0) != 0)
                cases.push_back(fs::relative(entry.path(), lhaCorpusDir()).string());
    for (const std::string& name : kGeneratedOnlyArchives) cases.push_back("generated/" + name);
    cases.push_back(std::string("generated/") + kLargeArchive);
    std::sort(cases.begin(), cases.end());
    return cases;
}

// Links placed in the destination before extracting: at names the archives
// use for folders (a write through them would land outside)...
const std::vector<std::string> kFolderLinkNames = {
    "etc", "tmp", "Anims", "anims", "Large", "subdir", "MainDir", "Docs", "Pics", "Untitled",
    "C:",  "lockeddir", "sub", "dir2", "d00", "Dossier été", "dir1", "moded"};
// ...and for files (they are replaced, never followed).
const std::vector<std::string> kFileLinkNames = {"first.txt", "found.anim", "top.anim", "ok1.txt", "evil1.txt",
                                                 "bad00.txt", "dup.txt",    "foo.txt",  "gpl-2",   "metadata.txt",
                                                 "ok.txt",    "empty.txt"};

// Folder links point outside the destination, every third by a relative
// path that climbs out of it; file links point at "victim" files, two of
// them dangling (a write through them would create the file outside).
void seedLinks(const fs::path& sandbox, const fs::path& destination) {
    fs::create_directory(destination);
    int n = 0;
    for (const std::string& name : kFolderLinkNames) {
        const std::string outside = "outside" + std::to_string(++n % 3 + 1);
        fs::create_directory_symlink(n % 3 == 0 ? fs::path("../../../..") / outside : sandbox / outside,
                                     destination / name);
    }
    for (const std::string& name : kFileLinkNames) {
        const fs::path victim = sandbox / "outside1" / ("victim-" + name);
        if (name != "metadata.txt" && name != "ok.txt") std::ofstream(victim) << "victim\n";
        fs::create_symlink(victim, destination / name);
    }
}

// Where an escaping write could land: every component of every name the
// archive holds, in the folders a relative escape reaches (the temporary
// folder, the working folder), and every absolute name as it stands.
std::set<fs::path> escapeCandidates(const fs::path& archive) {
    std::set<fs::path> candidates;
    const auto note = [&](const std::optional<std::string>& text) {
        if (!text) return;
        if (!text->empty() && text->front() == '/') candidates.insert(*text);
        std::istringstream parts(*text);
        for (std::string part; std::getline(parts, part, '/');)
            if (!part.empty() && part != "." && part != "..")
                for (const fs::path& base : {fs::path("/tmp"), fs::temp_directory_path(), fs::current_path()})
                    candidates.insert(base / part);
    };
    for (const ReferenceEntry& entry : readReferenceEntries(archive, false)) {
        note(entry.path);
        note(entry.filename);
        note(entry.symlinkTarget);
        if (entry.path && entry.filename) note(*entry.path + *entry.filename);
    }
    return candidates;
}

// Extracts `archive` into a sandbox, seeded with links or not, and checks
// that nothing outside the destination changed.
void expectContained(const fs::path& archive, bool seeded) {
    TemporaryFolder folder;
    const fs::path sandbox = folder / "sandbox", destination = sandbox / "a" / "b" / "c" / "dest";
    for (const char* outside : {"outside1", "outside2", "outside3"}) fs::create_directories(sandbox / outside);
    fs::create_directories(destination.parent_path());
    if (seeded) seedLinks(sandbox, destination);
    const auto candidates = escapeCandidates(archive);
    std::map<fs::path, std::string> candidatesBefore;
    for (const fs::path& path : candidates) candidatesBefore[path] = nodeState(path);
    TreeSnapshot sandboxBefore = snapshotTree(sandbox, destination), destinationBefore = snapshotTree(destination);

    const ExtractionRun run = extractArchiveInto(archive, destination);

    EXPECT_EQ(snapshotTree(sandbox, destination), sandboxBefore) << "changed outside the destination";
    for (const fs::path& path : candidates) EXPECT_EQ(nodeState(path), candidatesBefore[path]) << "changed: " << path;
    EXPECT_EQ(leftoverTemporaries(destination), std::vector<std::string>{});

    // Inside: no link was made; each link placed before is still there, or
    // was replaced by a file of its own name; files carry no special bit
    // and stay readable and writable by their owner.
    for (const auto& [path, state] : destinationBefore) {
        const mode_t mode = lstatOf(destination / path).st_mode;
        EXPECT_TRUE(S_ISLNK(mode) || S_ISREG(mode)) << "the link " << path << " was removed";
    }
    for (const auto& [path, state] : snapshotTree(destination)) {
        const mode_t mode = lstatOf(destination / path).st_mode;
        EXPECT_TRUE(!S_ISLNK(mode) || state == destinationBefore[path] /* "" when new */) << "link made or changed: " << path;
        EXPECT_TRUE(!S_ISREG(mode) || (mode & 07600) == 0600) << path << ": " << state;
    }

    // Everything reported as written is there (a path through a link would
    // lead outside, where nothing changed).
    for (const std::string& relative : run.report.extracted)
        EXPECT_NE(lstatOf(destination / relative).st_mode, 0u) << "reported but missing: " << relative;
}

class Containment : public ::testing::TestWithParam<std::string> {};

TEST_P(Containment, NothingIsWrittenOutsideTheDestination) {
    std::optional<fs::path> archive = lhaCorpusDir() / GetParam();
    if (GetParam().rfind("generated/", 0) == 0 && !(archive = generatedArchive(archive->filename())))
        GTEST_SKIP() << "python3 could not make " << GetParam();
    {
        SCOPED_TRACE("into a new folder");
        expectContained(*archive, false);
    }
    SCOPED_TRACE("into a folder holding links that point outside");
    expectContained(*archive, true);
}

INSTANTIATE_TEST_SUITE_P(Corpus, Containment, ::testing::ValuesIn(containmentCases()),
                         [](const auto& info) { return testNameFrom(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Containment);

}  // namespace
}  // namespace velarium
