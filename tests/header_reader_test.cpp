// The header reader: layouts, odd headers and the capacity limits.
#include "table/header_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvale {
namespace {

using test::visible;
using Tokens = std::vector<std::string>;

// Leftovers of an earlier file, which must never show through.
void fillWithJunk(HeaderInfo& header) {
    for (TokenTable* table : {&header.nameTable, &header.subNameTable, &header.pairNameTable}) {
        for (int slot = 0; slot < 16; ++slot) {
            table->put(slot, 0, 'J');
            table->terminate(slot, 1);
        }
    }
}

Tokens tokens(const TokenTable& table, int count) {
    Tokens result;
    for (int slot = 0; slot < count; ++slot) {
        result.emplace_back(table.token(slot));
    }
    return result;
}

struct HeaderCase {
    const char* what;
    std::string input;
    HeaderLayout layout;
    Tokens names;  // header line 1, slots 0 to G
    Tokens subNames;
    Tokens pairNames;
    char current;  // the character readHeader leaves current
};

constexpr HeaderLayout kOne = HeaderLayout::OneLine;
constexpr HeaderLayout kThree = HeaderLayout::ThreeLine;

const HeaderCase kHeaderCases[] = {
    {"one line, dash separator", "Time A B\n-----\n0 1 2\n", kOne, {"Time", "A", "B"}, {}, {}, '-'},
    {"one line, equals separator", "Time A B\n=====\n", kOne, {"Time", "A", "B"}, {}, {}, '='},
    {"CR LF line ends", "Time A B\r\n-----\r\n", kOne, {"Time", "A", "B"}, {}, {}, '-'},
    {"trailing blanks add nothing", "Time A B   \n--\n", kOne, {"Time", "A", "B"}, {}, {}, '-'},
    {"runs of blanks separate once", "Time   A  B\n--\n", kOne, {"Time", "A", "B"}, {}, {}, '-'},
    {"leading blanks are skipped", "   Time A B\n--\n", kOne, {"Time", "A", "B"}, {}, {}, '-'},
    {"zero byte ends a name, trailing blanks or not", std::string("T a\0b c\0d  \n--\n", 15), kOne, {"T", "a", "c"},
     {}, {}, '-'},
    {"TAB is part of a name", "T A\tB C\n--\n", kOne, {"T", "A\tB", "C"}, {}, {}, '-'},
    {"empty first line", "\n--\n", kOne, {""}, {}, {}, '-'},
    {"abscissa heading alone", "Time\n--\n", kOne, {"Time"}, {}, {}, '-'},
    {"three lines", "T G1 G2\nS1 S2\nm1 x1 m2 x2\n=====\n", kThree, {"T", "G1", "G2"}, {"S1", "S2"},
     {"m1", "x1", "m2", "x2"}, '\n'},
    {"three lines, short lines 2 and 3", "T G1 G2 G3\nS1\nm1 x1\n===\n", kThree, {"T", "G1", "G2", "G3"},
     {"S1", "", ""}, {"m1", "x1", "", "", "", ""}, '\n'},
    {"three lines, extra names ignored", "T G1\nS1 S2 S3\nm1 x1 m2 x2\n=\n", kThree, {"T", "G1"}, {"S1"},
     {"m1", "x1"}, '\n'},
    {"separator starting with a blank is header line 2", "Time A\n -----\n0 1\n", kThree, {"Time", "A"}, {""},
     {"", ""}, '-'},
    {"a dash inside a name ends line 1", "Time A-B C\n-----\n", kThree, {"Time", "A"}, {"B"}, {"", ""}, '-'},
    {"no separator: rows become lines 2 and 3", "T A\n1 2\n3 4\n5 6\n", kThree, {"T", "A"}, {"1"}, {"3", "4"},
     '\n'},
    {"header line 1 alone", "Time A B\n", kThree, {"Time", "A", "B"}, {"", ""}, {"", "", "", ""}, kEndMarker},
    {"header line 1 without line end", "Time A B", kThree, {"Time", "A", "B"}, {"", ""}, {"", "", "", ""},
     kEndMarker},
    {"blanks before the end add an empty name", "Time A B   ", kThree, {"Time", "A", "B", ""}, {"", "", ""},
     {"", "", "", "", "", ""}, kEndMarker},
    {"blanks before a dash add an empty name", "Time A -\n", kThree, {"Time", "A", ""}, {"", ""}, {"", "", "", ""},
     kEndMarker},
    {"empty input", "", kThree, {""}, {}, {}, kEndMarker},
};

TEST(HeaderReader, ReadsBothLayoutsAndOddHeadersByTheSameRules) {
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    for (const HeaderCase& c : kHeaderCases) {
        fillWithJunk(*header);
        CharSource source(2);
        source.openMemory(c.input.data(), c.input.size());
        char current = 0;
        ASSERT_FALSE(readHeader(source, current, *header)) << c.what;
        const int g = static_cast<int>(c.names.size()) - 1;
        EXPECT_EQ(header->layout, c.layout) << c.what;
        EXPECT_EQ(header->columnCount, g) << c.what;
        EXPECT_EQ(tokens(header->nameTable, g + 1), c.names) << c.what;
        if (c.layout == HeaderLayout::ThreeLine) {
            EXPECT_EQ(tokens(header->subNameTable, g), c.subNames) << c.what;
            EXPECT_EQ(tokens(header->pairNameTable, 2 * g), c.pairNames) << c.what;
        }
        EXPECT_EQ(visible(std::string(1, current)), visible(std::string(1, c.current))) << c.what;
    }
}

// What the separator line turned out to be is what the warnings rest on.
TEST(HeaderReader, SkipSeparatorStopsAfterTheRunOfSeparatorCharacters) {
    const struct {
        std::string input;
        char stop;
        SeparatorLine expected;
    } cases[] = {
        {"T A\n-- = -\n1", '\n', {2, true, false}},
        {"T A\n=====x\n", 'x', {2, true, true}},
        {"T\nS\nP\n=-=\n", '\n', {4, true, false}},
        {"T\nS\nP\n\n1 2\n", '\n', {4, false, false}},  // an empty line where the separator belongs
        {"T A\n1 2\n3 4\n5 6\n", '5', {4, false, true}},  // no separator: the row's first character is dropped
    };
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    for (const auto& c : cases) {
        CharSource source(1);
        source.openMemory(c.input.data(), c.input.size());
        char current = 0;
        ASSERT_FALSE(readHeader(source, current, *header));
        const SeparatorLine separator = skipSeparator(source, current);
        EXPECT_EQ(current, c.stop) << visible(c.input);
        EXPECT_EQ(separator.line, c.expected.line) << visible(c.input);
        EXPECT_EQ(separator.found, c.expected.found) << visible(c.input);
        EXPECT_EQ(separator.cutRow, c.expected.cutRow) << visible(c.input);
    }
    CharSource source;
    const std::string endsInSeparator = "T A\n---";
    source.openMemory(endsInSeparator.data(), endsInSeparator.size());
    char current = 0;
    ASSERT_FALSE(readHeader(source, current, *header));
    const SeparatorLine separator = skipSeparator(source, current);
    EXPECT_TRUE(source.atEnd());
    EXPECT_TRUE(separator.found);
    EXPECT_FALSE(separator.cutRow);
}

std::string names(int count, const std::string& prefix = "c") {
    std::string line;
    for (int i = 0; i < count; ++i) {
        line += (i == 0 ? "" : " ") + prefix + std::to_string(i);
    }
    return line;
}

TEST(HeaderReader, RefusesWhatWouldBeWrittenOutButDoesNotFitAndIgnoresTheRest) {
    const std::string name255(255, 'n');
    const std::string name256(256, 'n');
    const struct {
        const char* what;
        std::string input;
        const char* refusal;  // nullptr: accepted
        long line;
    } cases[] = {
        {"1023 data columns", "T " + names(1023) + "\n--\n", nullptr, 0},
        {"1024 data columns", "T " + names(1024) + "\n--\n", "more than 1023 data columns", 1},
        {"511 groups", "T " + names(511) + "\nS\nP\n--\n", nullptr, 0},
        {"512 groups", "T " + names(512) + "\nS\nP\n--\n", "more than 1023 data columns", 1},
        {"255-character name", "T " + name255 + "\n--\n", nullptr, 0},
        {"256-character name", "T " + name256 + "\n--\n", "name longer than 255 characters", 1},
        {"256-character heading", name256 + " A\n--\n", "name longer than 255 characters", 1},
        {"long sub-name of a group", "T G1 G2\nS1 " + name256 + "\nm x m x\n--\n",
         "name longer than 255 characters", 2},
        {"long sub-name past the groups", "T G1\nS1 " + name256 + "\nm x\n--\n", nullptr, 0},
        {"long pair name of a group", "T G1\r\nS1\r\nm " + name256 + "\r\n--\r\n", "name longer than 255 characters",
         3},
        {"long pair name past the groups", "T G1\nS1\nm x " + name256 + " " + names(3000) + "\n--\n", nullptr, 0},
    };
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    for (const auto& c : cases) {
        CharSource source(7);
        source.openMemory(c.input.data(), c.input.size());
        char current = 0;
        const Refusal refusal = readHeader(source, current, *header);
        if (c.refusal == nullptr) {
            EXPECT_FALSE(refusal) << c.what << ": " << describe(refusal.reason);
            continue;
        }
        ASSERT_TRUE(refusal) << c.what;
        EXPECT_STREQ(describe(refusal.reason), c.refusal) << c.what;
        EXPECT_EQ(refusal.line, c.line) << c.what;
    }
    CharSource source;
    const std::string input = "T " + name255 + " " + names(1022) + "\n--\n";
    source.openMemory(input.data(), input.size());
    char current = 0;
    ASSERT_FALSE(readHeader(source, current, *header));
    EXPECT_EQ(header->columnCount, 1023);
    EXPECT_EQ(header->nameTable.token(1), name255);
    EXPECT_EQ(header->nameTable.token(1023), "c1021");
}

}  // namespace
}  // namespace morvale
