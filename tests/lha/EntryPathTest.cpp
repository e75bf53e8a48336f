// The relative path an entry is written under: each header string read as
// UTF-8, else as ISO Latin-1, then empty, "." and ".." components dropped.
// (The corpus's table checks the rule on every name its archives hold; these
// are the names no archive there has.)
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
        {nullptr, nullptr, ""},
        {"../../etc/", "x", "etc/x"},
        {"a/../../../etc/", "mid.txt", "a/etc/mid.txt"},  // ".." is dropped, not resolved
        {"///tmp//./", "abs5", "tmp/abs5"},
        {"./", nullptr, ""},
        {"", ".", ""},
        {"../", ".", ""},
        {"..../", "..bar", "..../..bar"},  // names that only start with dots are names
        {"etc", "nul.txt", "etcnul.txt"},  // strings are joined as they are
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
