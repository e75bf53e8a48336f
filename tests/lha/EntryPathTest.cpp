// The relative path an entry is written under: each header string read as
// UTF-8, else as ISO Latin-1, then empty, "." and ".." components dropped.
#include <gtest/gtest.h>

#include "lha/ArchiveExtractor.h"

namespace velarium {
namespace {

TEST(EntryPath, CleansComponentsAndDecodesEachHeaderStringOnItsOwn) {
    struct Case {
        const char* path;
        const char* filename;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {nullptr, "x", "x"},
        {"dir/", nullptr, "dir"},  // folders have no file name at levels 1 to 3
        {"dir/", "", "dir"},       // ...and an empty one at level 0
        {nullptr, nullptr, ""},
        {"../../etc/", "x", "etc/x"},
        {"a/../../../etc/", "mid.txt", "a/etc/mid.txt"},  // ".." is dropped, not resolved
        {"/tmp/", "abs", "tmp/abs"},
        {"///tmp//./", "abs5", "tmp/abs5"},
        {"./", nullptr, ""},
        {"", ".", ""},
        {"../", ".", ""},
        {"..../", "..bar", "..../..bar"},  // names that only start with dots are names
        {"C:/tmp/", "abs4", "C:/tmp/abs4"},
        {"etc", "nul.txt", "etcnul.txt"},  // strings are joined as they are
        {"Dossier \xe9t\xe9/", "na\xefve.anim", "Dossier \xc3\xa9t\xc3\xa9/na\xc3\xafve.anim"},
        {"caf\xc3\xa9/", "\xe9.txt", "caf\xc3\xa9/\xc3\xa9.txt"},  // UTF-8 path, Latin-1 file name
        {nullptr, "\xc0\xaf", "\xc3\x80\xc2\xaf"},                 // overlong '/' is Latin-1, not a separator
        {nullptr, "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},     // a surrogate is not UTF-8
        {nullptr, "\xf0\x9f\x8e\x9e.anim", "\xf0\x9f\x8e\x9e.anim"},
        {nullptr, "ctl\x1b[31mred\x07.txt", "ctl\x1b[31mred\x07.txt"},  // kept as they are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path ? c.path : "(null)") + " + " + (c.filename ? c.filename : "(null)"));
        EXPECT_EQ(relativePathForEntry(c.path, c.filename), c.expected);
    }
}

}  // namespace
}  // namespace velarium
