// Output file naming.
#include "vecfile/output_name.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"

namespace morvale {
namespace {

TEST(OutputName, FinalLowerCaseTxtBecomesVecAndAnythingElseGetsVecAppended) {
    const struct {
        const char* input;
        const char* output;
        const char* dataOutput;  // where .csv, .tsv and .dat name tables too
    } cases[] = {
        {"run1.txt", "run1.vec", "run1.vec"},
        {"data.v2/run.1/run1.txt", "data.v2/run.1/run1.vec", "data.v2/run.1/run1.vec"},
        {"C:\\m.txt\\a.txt", "C:\\m.txt\\a.vec", "C:\\m.txt\\a.vec"},
        {"a.txt.txt", "a.txt.vec", "a.txt.vec"},
        {".txt", ".vec", ".vec"},
        {"A.TXT", "A.TXT.vec", "A.TXT.vec"},
        {"a.Txt", "a.Txt.vec", "a.Txt.vec"},
        {"a.txt2", "a.txt2.vec", "a.txt2.vec"},
        {"data.csv", "data.csv.vec", "data.vec"},
        {"txt", "txt.vec", "txt.vec"},
        {"a.vec", "a.vec.vec", "a.vec.vec"},
        {"", ".vec", ".vec"},
        {"vna.tsv", "vna.tsv.vec", "vna.vec"},
        {"scope.dat", "scope.dat.vec", "scope.vec"},
        {"a.csv.txt", "a.csv.vec", "a.csv.vec"},
        {"A.CSV", "A.CSV.vec", "A.CSV.vec"},
        {".csv", ".csv.vec", ".vec"},
    };
    for (const auto& c : cases) {
        std::string name = c.input;
        deriveOutputName(name);
        EXPECT_EQ(name, c.output) << c.input;
        name = c.input;
        deriveOutputName(name, TableEndings::TextAndData);
        EXPECT_EQ(name, c.dataOutput) << c.input;
    }
}

// Two names a file system could take for one file must never pass for two:
// the batch would rename two files onto one in either order. Names that
// differ in an ASCII character are surely two.
TEST(FileNames, NamesASystemCouldTakeForOneMayBeTheSame) {
    const struct {
        const char* one;
        const char* other;
        bool maybeSame;
    } cases[] = {
        {"a.vec", "a.vec", true},
        {"d/a.vec", "e/f/a.vec", true},
        {"A.VEC", "./a.vec", true},
        {"a.vec", "b.vec", false},
        {"a.vec", "a.vec.vec", false},
        {"d/a.vec", "a/d.vec", false},
        {"\xc3\x84.vec", "\xc3\xa4.vec", true},       // letter case outside ASCII
        {"\xc3\x84.vec", "A\xcc\x88.vec", true},      // composed and decomposed
        {"\xc3\x84_1.vec", "\xc3\x84_2.vec", false},  // a series of non-ASCII names
        {"x\xc3\x84.vec", "\xc3\x84.vec", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files::mayBeSameName(c.one, c.other), c.maybeSame) << c.one << " and " << c.other;
        EXPECT_EQ(files::mayBeSameName(c.other, c.one), c.maybeSame) << c.other << " and " << c.one;
    }
}

}  // namespace
}  // namespace morvale
