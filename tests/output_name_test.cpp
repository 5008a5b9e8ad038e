// Output file naming.
#include "vecfile/output_name.h"

#include <gtest/gtest.h>

namespace morvale {
namespace {

TEST(OutputName, FinalLowerCaseTxtBecomesVecAndAnythingElseGetsVecAppended) {
    const struct {
        const char* input;
        const char* output;
    } cases[] = {
        {"run1.txt", "run1.vec"},
        {"data.v2/run.1/run1.txt", "data.v2/run.1/run1.vec"},
        {"C:\\m.txt\\a.txt", "C:\\m.txt\\a.vec"},
        {"a.txt.txt", "a.txt.vec"},
        {".txt", ".vec"},
        {"A.TXT", "A.TXT.vec"},
        {"a.Txt", "a.Txt.vec"},
        {"a.txt2", "a.txt2.vec"},
        {"data.csv", "data.csv.vec"},
        {"txt", "txt.vec"},
        {"a.vec", "a.vec.vec"},
        {"", ".vec"},
    };
    for (const auto& c : cases) {
        std::string name = c.input;
        deriveOutputName(name);
        EXPECT_EQ(name, c.output) << c.input;
    }
}

}  // namespace
}  // namespace morvale
