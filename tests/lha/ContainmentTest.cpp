// Nothing is written outside the destination: every archive of the LHA corpus
// and its generator, extracted four folders deep in a sandbox into a new
// folder and into one holding links out at names the archives use, leaves the
// sandbox and the archive's names in the temporary and working folders as they
// were; inside, no link is made or followed and no temporary file stays.
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

// Names the archives use for folders (a write through a link there lands outside)...
const std::vector<std::string> kFolderLinkNames = {
    "etc", "tmp", "Anims", "anims", "Large", "subdir", "MainDir", "Docs", "Pics", "Untitled",
    "C:",  "lockeddir", "sub", "dir2", "d00", "Dossier été", "dir1", "moded"};
// ...and for files (they are replaced, never followed).
const std::vector<std::string> kFileLinkNames = {"first.txt", "found.anim", "top.anim", "ok1.txt", "evil1.txt",
                                                 "bad00.txt", "dup.txt",    "foo.txt",  "gpl-2",   "metadata.txt",
                                                 "ok.txt",    "empty.txt"};

// Every third folder link climbs out by a relative path; two file links dangle.
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

// Where an escaping write could land: each component of each name the
// archive holds in the folders a relative escape reaches, and absolute names.
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

    // Inside: links placed before stay or became files of their own; no
    // link was made; files carry no special bit and their owner may read and write them.
    for (const auto& [path, state] : destinationBefore) {
        const mode_t mode = lstatOf(destination / path).st_mode;
        EXPECT_TRUE(S_ISLNK(mode) || S_ISREG(mode)) << "the link " << path << " was removed";
    }
    for (const auto& [path, state] : snapshotTree(destination)) {
        const mode_t mode = lstatOf(destination / path).st_mode;
        EXPECT_TRUE(!S_ISLNK(mode) || state == destinationBefore[path] /* "" when new */) << "link made or changed: " << path;
        EXPECT_TRUE(!S_ISREG(mode) || (mode & 07600) == 0600) << path << ": " << state;
    }
    // What the report says was written is there, not behind a link.
    for (const std::string& relative : run.report.extracted)
        EXPECT_NE(lstatOf(destination / relative).st_mode, 0u) << "reported but missing: " << relative;
}

class Containment : public ::testing::TestWithParam<std::string> {};

TEST_P(Containment, NothingIsWrittenOutsideTheDestination) {
    std::optional<fs::path> archive = lhaCorpusDir() / GetParam();
    if (GetParam().rfind("generated/", 0) == 0 && !(archive = generatedArchive(archive->filename())))
        GTEST_SKIP() << "python3 could not make " << GetParam();
    for (const bool seeded : {false, true}) {
        SCOPED_TRACE(seeded ? "into a folder holding links that point outside" : "into a new folder");
        expectContained(*archive, seeded);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, Containment, ::testing::ValuesIn(containmentCases()),
                         [](const auto& info) { return testNameFrom(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Containment);

}  // namespace
}  // namespace velarium
