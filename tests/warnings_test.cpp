// Warnings: none on a table written as meant, and on a doubtful one the same
// lines and counts wherever the buffers end.
#include "table/warnings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvale {
namespace {

using test::convertText;
using test::visible;
using namespace std::string_literals;

std::string listed(const Warnings& warnings) {
    std::string text;
    for (const Warning& warning : warnings) {
        text += "line " + std::to_string(warning.line) + ": " + describe(warning, true) + "\n";
    }
    return text;
}

// Tables as they should be written, in every form the format allows an
// author: either layout, either line end, with or without a final one, a
// byte-order mark or an end-of-file byte, names with dots, underscores and
// parentheses, numbers of every shape.
class WellFormedTables {
public:
    explicit WellFormedTables(unsigned start) : random_(start) {}

    std::string make() {
        const bool threeLine = chance(3);
        const int groups = 1 + pick(threeLine ? 4 : 9);
        const int vectors = threeLine ? 2 * groups : groups;
        std::vector<std::string> lines{blanks(4) + names(groups + 1, "T")};
        if (threeLine) {
            lines.push_back(blanks(4) + names(groups, "s"));
            lines.push_back(blanks(4) + names(2 * groups, "p"));
        }
        lines.push_back(separator());
        for (int rows = pick(12); rows > 0; --rows) {
            std::string row = number();
            for (int value = 0; value < vectors; ++value) {
                row += std::string(1 + (chance(4) ? pick(4) : 0), ' ') + number();
            }
            lines.push_back(row + (chance(6) ? "  " : ""));
        }
        const std::string end = chance(2) ? "\r\n" : "\n";
        std::string table = chance(8) ? "\xEF\xBB\xBF" : "";
        for (const std::string& line : lines) {
            table += line + end;
        }
        if (chance(3)) {
            table.resize(table.size() - end.size());  // no final line end
        } else if (chance(8)) {
            table += "\x1A";  // the end of a text file, as some systems mark it
        }
        return table;
    }

private:
    bool chance(int oneIn) { return pick(oneIn) == 0; }
    int pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }
    std::string blanks(int oneIn) { return chance(oneIn) ? std::string(1 + pick(3), ' ') : ""; }

    // Distinct names, each made of one of the usual shapes and its number.
    std::string names(int count, const std::string& stem) {
        static const char* const shapes[] = {"V", "V(out)", "T_in", "x.y", "I(R1)", "Freq_Hz", "a.b_c(2)"};
        std::string line;
        for (int i = 0; i < count; ++i) {
            line += (i > 0 ? std::string(1 + pick(2), ' ') : "") + stem + shapes[pick(7)] + std::to_string(i);
        }
        return line;
    }

    std::string separator() {
        std::string line(1 + pick(30), chance(2) ? '-' : '=');
        return chance(5) ? line + " " + line : line;
    }

    std::string number() {
        static const char* const numbers[] = {"0", "1", "-1", "0.001", "-0.5", ".5", "2e-3", "-1.5E+02",
                                              "12345.678", "3E5", "-7e-12", "+4", "1.", "-0"};
        return numbers[pick(14)];
    }

    std::mt19937 random_;
};

TEST(Warnings, NoneOnTablesWrittenAsMeant) {
    WellFormedTables maker(20261209);
    const std::size_t bufferSizes[] = {CharSource::kDefaultBufferSize, 1, 7, 64};
    for (int round = 0; round < 4000; ++round) {
        const std::string table = maker.make();
        // Some runs with a small output buffer too: a row that does not fit
        // is left to be read again.
        const std::size_t output = round % 3 == 0 ? VectorFile::kMaxReserve : VectorFile::kDefaultBufferSize;
        const test::Converted converted = convertText(table, bufferSizes[round % 4], output);
        ASSERT_EQ(converted.conversion.outcome, ConversionOutcome::Converted) << visible(table);
        ASSERT_EQ(listed(converted.conversion.warnings), "") << "round " << round << "\n" << visible(table);
    }
    int examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(MORVALE_SOURCE_DIR) / "examples")) {
        // The Quick start writes the examples' vector files beside them.
        if (entry.path().extension() != ".txt") {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(listed(convertText(table).conversion.warnings), "") << entry.path();
        ++examples;
    }
    EXPECT_GE(examples, 2);
}

// A kind seen on several lines is counted once per line, however the lines
// are cut: a row the common rows' writer leaves at a buffer's end is read
// again, and counts as it is read then.
TEST(Warnings, EachKindOnceWithItsFirstLineAndCountWhereverTheBuffersEnd) {
    const std::string manyExtra = "9 1 2" + std::string(300, ' ') + "3 4 5 6 7 8 9\n";
    const struct {
        const char* what;
        std::string table;
        std::vector<Warning> expected;
    } cases[] = {
        {"row shapes",
         "Time A B\n-----\n0 1 2\n1 3\n2 5 6 7\n  3 7 8\n\n4 9\n5 1 2\n" + manyExtra + "   \n6 5",
         {{Warning::Reason::FewerValues, 4, 2},
          {Warning::Reason::MoreValues, 5, 1},
          {Warning::Reason::RowStartsWithBlank, 6, 0},
          {Warning::Reason::EmptyRow, 7, 1}}},
        {"bytes no table means", "Time A B\n-----\n0\t1 2\n1 3\0x 4\n2\t5\t6\n3 7 8\r\r\n"s,
         {{Warning::Reason::Tabs, 3, 1}, {Warning::Reason::ZeroBytes, 4, 0},
          {Warning::Reason::StrayCarriageReturns, 6, 0}}},
        {"a header and its rows", "# Time A B\n-----\n0 1 2\n\n",
         {{Warning::Reason::CommentMark, 1, 0}, {Warning::Reason::EmptyRow, 4, 0}}},
        // A stray CR ends the separator line's run: the rest of the line is a
        // row, counted as any other, but not said to start with a blank.
        {"what is left of the separator line", "Time A B\n-----\r1\n0 1 2\n",
         {{Warning::Reason::StrayCarriageReturns, 2, 0}, {Warning::Reason::FewerValues, 2, 0}}},
        {"what is left of the separator line, after a blank", "Time A B\n-----\r 1 2\n0 1 2\n",
         {{Warning::Reason::StrayCarriageReturns, 2, 0}}},
    };
    for (const auto& c : cases) {
        Warnings warnings;
        for (const Warning& warning : c.expected) {
            warnings.add(warning.reason, warning.line, warning.moreLines);
        }
        for (std::size_t source : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{9},
                                   std::size_t{17}, std::size_t{40}, CharSource::kDefaultBufferSize}) {
            for (std::size_t output : {std::size_t{1}, VectorFile::kDefaultBufferSize}) {
                const test::Converted converted = convertText(c.table, source, output);
                EXPECT_EQ(listed(converted.conversion.warnings), listed(warnings))
                    << c.what << ", buffers " << source << " and " << output;
            }
        }
    }
}

}  // namespace
}  // namespace morvale
