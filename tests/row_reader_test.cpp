// The row reader: how a row is cut into its abscissa and values.
#include "table/row_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvale {
namespace {

using test::visible;
using test::writeTempFile;
using Tokens = std::vector<std::string>;

struct RowCase {
    const char* what;
    std::string row;   // the row's text from its first character
    Tokens expected;   // slots 0 to V
};

// Reads each row in turn into one shared table, as a file's rows are read, so
// that every case also shows that nothing of the row before leaks through.
// Each row is read from memory and from a file through buffers so small that
// tokens and the blanks between them fall on every buffer edge.
void expectRows(HeaderLayout layout, int columns, const std::vector<RowCase>& cases) {
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    header->layout = layout;
    header->columnCount = columns;
    const std::unique_ptr<RowTable> row(new RowTable);
    RowNotes notes;
    for (const RowCase& c : cases) {
        const std::string path = writeTempFile(c.row);
        for (std::size_t bufferSize : {0, 1, 2, 3, 5, 9}) {
            CharSource source(bufferSize == 0 ? 1 : bufferSize);
            if (bufferSize == 0) {
                source.openMemory(c.row.data(), c.row.size());
            } else {
                ASSERT_TRUE(source.open(path.c_str()));
            }
            char current = source.next();
            ASSERT_FALSE(readRow(source, current, *header, *row, notes)) << c.what;
            Tokens actual;
            for (int slot = 0; slot <= header->vectorCount(); ++slot) {
                actual.emplace_back(row->token(slot));
            }
            EXPECT_EQ(actual, c.expected) << c.what << ", buffer " << bufferSize << " (0: memory): " << visible(c.row);
            EXPECT_TRUE(isLineEnd(current) || source.atEnd()) << c.what;
        }
        std::remove(path.c_str());
    }
}

TEST(RowReader, CutsRowsAtRunsOfBlanksOnly) {
    expectRows(HeaderLayout::OneLine, 2,
               {
                   {"three values", "0 1 2\n", {"0", "1", "2"}},
                   {"trailing blank", "0 1 2 \n", {"0", "1", "2"}},
                   {"signs and exponents pass unchanged", "0 -1 2e-3\n", {"0", "-1", "2e-3"}},
                   {"short row gets empty values", "8 9\n", {"8", "9", ""}},
                   {"long row keeps the first values", "0 1 2 3 4\n", {"0", "1", "2"}},
                   {"one leading blank joins the abscissa", " 5 6 7\n", {" 5", "6", "7"}},
                   {"two leading blanks shift the values", "  5 6\n", {" ", "5", "6"}},
                   {"empty line", "\n", {"", "", ""}},
                   {"TAB inside a token", "a\tb 1\n", {"a\tb", "1", ""}},
                   {"lone CR inside a token", "1\r2 3\n", {"1\r2", "3", ""}},
                   {"last row without line end", "3 4", {"3", "4", ""}},
                   {"runs of blanks count once", "1    2     3\n", {"1", "2", "3"}},
                   {"tokens longer than a word", "0.000123456789 -1.2345e-05 0.5\r\n", {"0.000123456789", "-1.2345e-05", "0.5"}},
                   {"zero byte ends a token", std::string("1 ab\0cd 2\n", 10), {"1", "ab", "2"}},
                   {"control and high bytes inside tokens", "1\x1F" "2 \xFF\xFE\x80\x7F\x21" "abcdefgh\n", {"1\x1F" "2", "\xFF\xFE\x80\x7F\x21" "abcdefgh", ""}},
               });
}

TEST(RowReader, ThreeLineRowsCarryTwoValuesPerGroup) {
    expectRows(HeaderLayout::ThreeLine, 1,
               {
                   {"full row", "0 1 2 3 4\n", {"0", "1", "2"}},
                   {"short row after a full one", "3 4\n", {"3", "4", ""}},
               });
}

TEST(RowReader, RefusesOnlyValuesThatWouldBeWrittenOut) {
    const std::string value255(255, '7');
    const std::string value256(256, '7');
    std::string wide = "0";
    for (int i = 1; i <= 1023; ++i) {
        wide += " " + std::to_string(i);
    }
    const struct {
        const char* what;
        int columns;
        std::string row;
        const char* refusal;
    } cases[] = {
        {"255-character value", 2, "0 " + value255 + " 1\n", nullptr},
        {"256-character value", 2, "0 " + value256 + " 1\n", "value longer than 255 characters"},
        {"256-character abscissa", 2, value256 + " 1 2\n", "value longer than 255 characters"},
        {"256-character value past V", 2, "0 1 2 " + value256 + "\n", nullptr},
        {"thousands of extra tokens", 1, "0 1" + std::string(20000, ' ') + wide + " " + wide + "\n", nullptr},
        {"1023 values", 1023, wide + "\n", nullptr},
        {"a line of blanks", 2, std::string(100000, ' ') + "\n", nullptr},
    };
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    const std::unique_ptr<RowTable> row(new RowTable);
    RowNotes notes;
    for (const auto& c : cases) {
        header->columnCount = c.columns;
        const std::string input = "first\nsecond\n" + c.row;
        CharSource source;
        source.openMemory(input.data(), input.size());
        char current = source.next();
        for (int lineEnds = 0; lineEnds < 2; current = source.next()) {
            lineEnds += isLineEnd(current) ? 1 : 0;
        }
        const Refusal refusal = readRow(source, current, *header, *row, notes);
        if (c.refusal == nullptr) {
            EXPECT_FALSE(refusal) << c.what;
            EXPECT_TRUE(isLineEnd(current)) << c.what;
            continue;
        }
        ASSERT_TRUE(refusal) << c.what;
        EXPECT_STREQ(describe(refusal.reason), c.refusal) << c.what;
        EXPECT_EQ(refusal.line, 3) << c.what;
    }
    header->columnCount = 2;
    CharSource source;
    const std::string input = "0 " + value255 + "\n";
    source.openMemory(input.data(), input.size());
    char current = source.next();
    ASSERT_FALSE(readRow(source, current, *header, *row, notes));
    EXPECT_EQ(row->token(1), value255);

    // Tokens past the last slot go nowhere, not even into the table's edge.
    header->columnCount = 1023;
    const std::string full = wide + " 77777777 88888888\n";
    source.openMemory(full.data(), full.size());
    current = source.next();
    ASSERT_FALSE(readRow(source, current, *header, *row, notes));
    for (int slot = 0; slot <= 1023; ++slot) {
        ASSERT_EQ(row->token(slot), std::to_string(slot)) << "slot " << slot;
    }
}

// Collects the rows that readRows() hands over, each as its slots, then the
// line it ended on. With `plain` it takes the common rows straight from the
// buffer, as the conversion does, keeping the writer's rule: a row with a
// kept token too long for a slot is left to the token step, which refuses
// it. `taken` counts the rows it took so.
class RowCollector {
public:
    RowCollector(const CharSource& source, int columns, bool plain)
        : source_(source), columns_(columns), plain_(plain) {}

    bool takePlainRows(PlainRows rows) {
        bool took = false;
        while (plain_ && rows.startRow()) {
            Tokens cut;
            std::string_view token;
            while (rows.nextToken(token)) {
                cut.emplace_back(token);
            }
            const auto kept = cut.begin() + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(cut.size()), columns_ + 1);
            const bool fit = std::all_of(cut.begin(), kept, [](const std::string& t) { return RowTable::fits(t.size()); });
            if (!fit || !rows.takeRow()) {
                break;
            }
            cut.resize(static_cast<std::size_t>(columns_) + 1);
            add(cut);
            ++taken;
            took = true;
        }
        return took;
    }
    void takeRow(const RowTable& row) {
        Tokens slots;
        for (int slot = 0; slot <= columns_; ++slot) {
            slots.emplace_back(row.token(slot));
        }
        add(slots);
    }
    bool stopped() const { return false; }

    std::vector<Tokens> rows;
    int taken = 0;

private:
    void add(Tokens row) {
        row.push_back("line " + std::to_string(source_.line()));
        rows.push_back(std::move(row));
    }

    const CharSource& source_;
    int columns_;
    bool plain_;
};

// The rows of `text` as readRows() hands them over, the common ones cut
// straight from the buffer when `plain`, else every one by the token step; a
// refusal ends the list.
RowCollector cutRows(const std::string& text, int columns, std::size_t bufferSize, bool plain) {
    const std::unique_ptr<HeaderInfo> header(new HeaderInfo);
    header->columnCount = columns;
    const std::unique_ptr<RowTable> row(new RowTable);
    CharSource source(bufferSize);
    source.openMemory(text.data(), text.size());
    RowCollector collector(source, columns, plain);
    RowNotes notes;
    if (const Refusal refusal = readRows(source, *header, *row, notes, collector)) {
        collector.rows.push_back({"refused", "line " + std::to_string(refusal.line)});
    }
    return collector;
}

// The common rows are cut straight from the input's buffer, with what was
// found of the row before carried over: whatever kinds of rows follow each
// other and wherever the buffer's edges fall, they come out as the token step
// cuts them, and a row that is not a common one is left whole to it.
TEST(RowReader, CommonRowsAreCutAsTheTokenStepCutsThem) {
    const std::string value255(255, '7');
    const std::string value256(256, '8');
    const struct {
        const char* what;
        int columns;
        std::string text;
    } cases[] = {
        {"single blanks, LF", 2, "0 1 2\n1 3 4\n2 5 6\n"},
        {"CR LF", 2, "0 1 2\r\n1 3 4\r\n2 5 6\r\n"},
        {"runs of blanks and trailing blanks", 2, "0    1  2\n1 3 4   \n2   5\n  \n3 6 7 \r\n"},
        {"short and long rows", 3, "0\n1 2\n2 3 4 5 6 7\n3 4 5 6\n"},
        {"rows the token step must read", 2,
         "0 1 2\n 5 6 7\n1\r2 3\n\n4 a\tb 5\n6 7\r\r\n8 9 " + std::string("ab\0cd", 5) + "\n9 9 9\n"},
        {"a lone CR and then the end", 1, "0 1\n1 2\r"},
        {"the end without a line end", 1, "0 1\n1 2"},
        {"the end-of-file byte", 1, "0 1\n1 2\x1A" "3 4\n"},
        {"tokens too long only when kept", 1, "0 " + value255 + "\n1 2 " + value256 + "\n2 " + value256 + "\n3 4\n"},
        {"abscissa too long", 1, "0 1\n" + value256 + " 1\n"},
    };
    for (const auto& c : cases) {
        const std::vector<Tokens> expected = cutRows(c.text, c.columns, CharSource::kDefaultBufferSize, false).rows;
        for (std::size_t bufferSize : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64},
                                       CharSource::kDefaultBufferSize}) {
            const RowCollector cut = cutRows(c.text, c.columns, bufferSize, true);
            EXPECT_EQ(cut.rows, expected) << c.what << ", buffer " << bufferSize;
            if (bufferSize == CharSource::kDefaultBufferSize) {
                EXPECT_GT(cut.taken, 0) << c.what << ": no row was cut straight from the buffer";
            }
        }
    }
}

// The bytes that end tokens are found a block at a time: whichever they are
// and wherever they stand in such a block, every one before the end comes out
// in order, and nothing read past the end counts. The mask a byte at a time,
// which processors without SSE2 use, finds the same.
TEST(RowReader, TokenEndsAreEveryByteThatIsNotPlainBeforeTheEnd) {
    const std::string endBytes = std::string(" \n\r\x1A\x1F", 5) + std::string(1, '\0');
    const std::string plainBytes = "!~\x7F\x80\xFF" "9.e-";
    for (std::size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 130}) {
        for (std::size_t spacing : {1, 2, 7, 16, 64, 200}) {
            std::string input;
            std::vector<std::size_t> expected;
            for (std::size_t i = 0; i < length; ++i) {
                const bool end = i % spacing == spacing - 1;
                input += end ? endBytes[i % endBytes.size()] : plainBytes[i % plainBytes.size()];
                if (end) {
                    expected.push_back(i);
                }
            }
            input += std::string(TokenEnds::kReadPast, ' ');  // token ends past the end must not count
            const auto* from = reinterpret_cast<const unsigned char*>(input.data());
            TokenEnds ends(from, from + length);
            std::vector<std::size_t> found;
            for (const unsigned char* at = ends.next(); at != from + length; at = ends.next()) {
                found.push_back(static_cast<std::size_t>(at - from));
                ASSERT_LE(found.size(), length) << "length " << length << ", spacing " << spacing;
            }
            EXPECT_EQ(found, expected) << "length " << length << ", spacing " << spacing;
            EXPECT_EQ(ends.next(), from + length) << "the end stays the end";
            for (std::size_t block = 0; block + TokenEnds::kBlock <= input.size(); block += 7) {
                const auto* at = from + block;
                ASSERT_EQ(TokenEnds::maskByBytes(at), TokenEnds::maskAt(at)) << visible(input.substr(block, 32));
            }
        }
    }
}

}  // namespace
}  // namespace morvale
