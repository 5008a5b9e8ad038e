// Version 2's reading of a table as meant: each dialect's fields, and what
// the header's reader makes of the lines before the rows.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "table/dialect.h"
#include "table/meant_header.h"
#include "test_support.h"

namespace morvale {
namespace {

using Fields = std::vector<std::string>;

// The fields of `line` as cutLine() cuts them, up to the last that is not
// empty, and whether it found one beyond `kept`.
Fields cutFields(const std::string& line, Separator separator, bool decimalComma, int kept, bool& beyond) {
    const std::unique_ptr<TokenTable> table(new TokenTable);
    LineChars chars(line);
    char c = chars.next();
    LineCut cut;
    EXPECT_TRUE(cutLine(chars, c, separator, *table, kept, decimalComma, cut));
    EXPECT_EQ(c, '\n');
    Fields fields;
    for (int slot = 0; slot < std::min(cut.fields, kept); ++slot) {
        fields.emplace_back(table->token(slot));
    }
    beyond = cut.beyond;
    return fields;
}

TEST(Dialect, FieldsAreCutAsEachDialectMeansThem) {
    const struct {
        const char* what;
        std::string line;
        Separator separator;
        Fields fields;
        bool beyond;
    } cases[] = {
        {"runs of blanks and TABs, leading ones skipped", "  1\t 2  \t3 ", Separator::Spaced, {"1", "2", "3"}, false},
        {"a spaced value beyond the kept", "1 2 3 4", Separator::Spaced, {"1", "2", "3"}, true},
        {"quotes, doubled quotes, separators inside", "\"a, b\",\"c \"\"d\"\"\",e", Separator::Comma,
         {"a, b", "c \"d\"", "e"}, false},
        {"blanks around fields dropped, kept inside quotes", " 1 ,\" 2 \", 3", Separator::Comma, {"1", " 2 ", "3"}, false},
        {"empty fields, trailing ones not counted", ",2,,", Separator::Comma, {"", "2"}, false},
        {"a quote inside an unquoted field is a character", "a\"b,c", Separator::Comma, {"a\"b", "c"}, false},
        {"an unclosed quote ends at the line end", "1,\"2,3", Separator::Comma, {"1", "2,3"}, false},
        {"decimal commas where semicolons separate", "0,5;1,5e-3;1,2,3;1.5", Separator::Semicolon,
         {"0.5", "1.5e-3", "1,2,3"}, true},
        {"one TAB a field, blanks in it", "\tTime (s)\t\t V ", Separator::Tab, {"", "Time (s)", ""}, true},
        {"a comment", "  # t x", Separator::Comma, {}, false},
        {"an empty field beyond the kept is nothing", "1,2,3,", Separator::Comma, {"1", "2", "3"}, false},
        {"a filled one is", "1,2,3,4", Separator::Comma, {"1", "2", "3"}, true},
    };
    for (const auto& c : cases) {
        bool beyond = false;
        EXPECT_EQ(cutFields(c.line, c.separator, c.separator == Separator::Semicolon, 3, beyond), c.fields) << c.what;
        EXPECT_EQ(beyond, c.beyond) << c.what;
    }
}

TEST(Dialect, TheNamesLineChoosesTheDialect) {
    const struct {
        const char* line;
        Separator separator;
    } cases[] = {
        {"Time V I", Separator::Spaced},      {"Time\tV\tI", Separator::Tab},
        {"Time (s)\tV (V)", Separator::Tab},  {"\tA\tB", Separator::Tab},
        {"t\t\tx", Separator::Spaced},        {"t \t x", Separator::Tab},
        {"a,b;c", Separator::Semicolon},      {"\"a;b\",c", Separator::Comma},
        {"\"a,b\" c", Separator::Spaced},     {"f,a\tb", Separator::Comma},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(separatorOf(c.line), c.separator) << c.line;
    }
}

// What readMeantHeader() made of a table: the names (abscissa's first), the
// units, the layout, the rows it read, and the line the rows' reader starts
// on; or the refusal.
struct HeaderRead {
    Fields names;
    Fields units;
    bool threeLine = false;
    std::vector<long> rows;
    long next = 0;
    Refusal::Reason refusal = Refusal::Reason::None;
    long refusedLine = 0;
};

HeaderRead readHeaderOf(const std::string& text) {
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    const std::unique_ptr<TokenTable> scratch(new TokenTable);
    MeantHeader meant;
    CharSource source(3);  // lines cross the buffer's edges
    source.openMemory(text.data(), text.size());
    HeaderRead read;
    const Refusal refusal = readMeantHeader(source, *header, meant, *scratch);
    read.refusal = refusal.reason;
    read.refusedLine = refusal.line;
    if (refusal) {
        return read;
    }
    for (int slot = 0; slot <= header->columnCount; ++slot) {
        read.names.emplace_back(header->nameTable.token(slot));
        if (header->hasUnits) {
            read.units.emplace_back(header->unitTable.token(slot));
        }
    }
    read.threeLine = header->layout == HeaderLayout::ThreeLine;
    read.rows.assign(meant.rowLine, meant.rowLine + meant.rows);
    read.next = source.line();
    return read;
}

// A line of names: the abscissa's and `columns` more.
std::string manyNames(int columns) {
    std::string names = "T";
    for (int column = 0; column < columns; ++column) {
        names += " c" + std::to_string(column);
    }
    return names + "\n";
}

TEST(Dialect, TheHeaderIsReadAsMeant) {
    using Reason = Refusal::Reason;
    const struct {
        const char* what;
        std::string table;
        HeaderRead expected;
    } cases[] = {
        {"the first format's", "T A B\n---\n0 1 2\n", {{"T", "A", "B"}, {}, false, {}, 3}},
        {"comments and empty lines before the names", "# run 3\n\n  # trial 42\nT A\n--\n", {{"T", "A"}, {}, false, {}, 6}},
        {"no separator line", "T A\n0 1\n1 2\n", {{"T", "A"}, {}, false, {2}, 3}},
        {"names on the comment above the rows", "# note\n# t sin\n0 1\n", {{"t", "sin"}, {}, false, {3}, 4}},
        {"and above a separator line", "#t,sin\n---\n0,1\n", {{"t", "sin"}, {}, false, {}, 3}},
        {"a commented separator line is no names", "# t sin\n# -----\n0 1\n", {{"t", "sin"}, {}, false, {3}, 4}},
        {"units, then the separator line", "T U I\ns V A\n---\n", {{"T", "U", "I"}, {"s", "V", "A"}, false, {}, 4}},
        {"units, then a row", "T,U\ns,V\n0,1\n", {{"T", "U"}, {"s", "V"}, false, {3}, 4}},
        {"the first format's three lines", "T G\nS\nm x\n==\n0 1 2\n", {{"T", "G"}, {}, true, {}, 5}},
        {"two lines of names and no separator line: rows", "T G\nS\nm x\n0 1 2\n", {{"T", "G"}, {}, false, {2, 3, 4}, 5}},
        {"a header alone", "T A", {{"T", "A"}, {}, false, {}, 1}},
        {"nothing", "", {{}, {}, false, {}, 0, Reason::NoVector, 1}},
        {"comments alone: their names", "# t x\n", {{"t", "x"}, {}, false, {}, 2}},
        {"one name", "# c\nTime\n--\n0\n", {{}, {}, false, {}, 0, Reason::NoVector, 2}},
        {"numbers for names", "\n0 1 2\n", {{}, {}, false, {}, 0, Reason::NamesAreNumbers, 2}},
        {"a decimal comma's numbers for names", "0;1,5\n", {{}, {}, false, {}, 0, Reason::NamesAreNumbers, 1}},
        {"a separator line first", "----\n0 1\n", {{}, {}, false, {}, 0, Reason::NoVector, 1}},
        {"a first line that names the separator", "sep=,\nT;x,B\n0,1\n", {{"T;x", "B"}, {}, false, {3}, 4}},
        {"too many names", manyNames(1024), {{}, {}, false, {}, 0, Reason::TooManyColumns, 1}},
    };
    for (const auto& c : cases) {
        const HeaderRead actual = readHeaderOf(c.table);
        const HeaderRead& expected = c.expected;
        EXPECT_EQ(actual.refusal, expected.refusal) << c.what;
        EXPECT_EQ(actual.refusedLine, expected.refusedLine) << c.what;
        EXPECT_EQ(actual.names, expected.names) << c.what;
        EXPECT_EQ(actual.units, expected.units) << c.what;
        EXPECT_EQ(actual.threeLine, expected.threeLine) << c.what;
        EXPECT_EQ(actual.rows, expected.rows) << c.what;
        EXPECT_EQ(actual.next, expected.next) << c.what;
    }
}

}  // namespace
}  // namespace morvale
