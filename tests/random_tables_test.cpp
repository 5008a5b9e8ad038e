// Random tables converted by the tool and by a second, independent model of
// the format, written for clarity rather than speed (whole strings, splits and
// searches instead of a character stream). Both must give the same bytes, the
// same refusals, on every buffer size.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvale {
namespace {

using test::convertText;
using test::visible;
using Tokens = std::vector<std::string>;

constexpr std::size_t kMaxLength = 255;
constexpr std::size_t kMaxColumns = 1023;

struct ModelResult {
    std::string output;
    std::string refusal;  // empty when converted
    long line = 0;
};

// The table as the reader sees it: no byte-order mark, nothing from 0x1A on,
// CR LF pairs as LF.
std::string delivered(std::string bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    }
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
            text += bytes[i];
        }
    }
    return text;
}

// A stored token reads up to its first zero byte.
std::string stored(const std::string& token) { return token.substr(0, token.find('\0')); }

struct Piece {
    std::string text;
    std::size_t start;
};

// Splits at runs of blanks, keeping where each token starts in the table;
// the text starts at `offset`.
std::vector<Piece> splitAtBlanks(const std::string& text, std::size_t offset) {
    std::vector<Piece> pieces{{"", offset}};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ') {
            pieces.back().text += text[i];
        } else if (i == 0 || text[i - 1] != ' ') {
            pieces.push_back({"", offset + i + 1});
        } else {
            pieces.back().start = offset + i + 1;
        }
    }
    return pieces;
}

class Model {
public:
    explicit Model(const std::string& bytes) : text_(delivered(bytes)) {}

    ModelResult convert() {
        Line names = headerLine(0);
        const int g = static_cast<int>(names.tokens.size()) - 1;
        if (refuseLong(names, std::min<std::size_t>(names.tokens.size(), kMaxColumns + 1), "name")) {
            return result_;
        }
        std::size_t next = names.end + 1;
        const bool oneLine = next < text_.size() && (text_[next] == '-' || text_[next] == '=');
        const int vectors = oneLine ? g : 2 * g;
        if (static_cast<std::size_t>(vectors) > kMaxColumns) {
            return refuse("more than 1023 data columns", 1);
        }
        Line subs;
        Line pairs;
        std::size_t current = next;  // the character readHeader stops on
        if (!oneLine) {
            subs = headerLine(next);
            if (refuseLong(subs, g, "name")) {
                return result_;
            }
            pairs = headerLine(subs.end + 1);
            if (refuseLong(pairs, 2 * g, "name")) {
                return result_;
            }
            current = pairs.end;
        }
        declare(names, subs, pairs, g, oneLine);
        std::size_t stop = current + 1;
        while (stop < text_.size() && (text_[stop] == '-' || text_[stop] == '=' || text_[stop] == ' ')) {
            ++stop;
        }
        for (std::size_t row = stop + 1; row < text_.size();) {
            std::size_t end = std::min(text_.find('\n', row), text_.size());
            if (!writeRow(text_.substr(row, end - row), row, vectors)) {
                return result_;
            }
            row = end + 1;
        }
        return result_;
    }

private:
    struct Line {
        std::vector<Piece> tokens;
        std::size_t end = 0;  // index of the character that ended it
    };

    std::string at(const Line& line, std::size_t slot) const {
        return slot < line.tokens.size() ? stored(line.tokens[slot].text) : std::string();
    }

    long lineOf(std::size_t index) const {
        return 1 + static_cast<long>(std::count(text_.begin(), text_.begin() + static_cast<long>(index), '\n'));
    }

    ModelResult refuse(const char* reason, long line) {
        result_.refusal = reason;
        result_.line = line;
        return result_;
    }

    bool refuseLong(const Line& line, std::size_t slots, const char* what) {
        for (std::size_t slot = 0; slot < slots && slot < line.tokens.size(); ++slot) {
            if (line.tokens[slot].text.size() > kMaxLength) {
                refuse(std::string(what) == "name" ? "name longer than 255 characters"
                                                   : "value longer than 255 characters",
                       lineOf(line.tokens[slot].start + kMaxLength));
                return true;
            }
        }
        return false;
    }

    // A header line from `start`: blanks skipped, ended by a line end, "=",
    // "-" or the end; blanks before a line end open no token, blanks before
    // anything else open an empty one.
    Line headerLine(std::size_t start) {
        Line line;
        start = std::min(start, text_.size());
        while (start < text_.size() && text_[start] == ' ') {
            ++start;
        }
        line.end = std::min(text_.find_first_of("\n=-", start), text_.size());
        line.tokens = splitAtBlanks(text_.substr(start, line.end - start), start);
        const bool endsInLineEnd = line.end < text_.size() && text_[line.end] == '\n';
        if (endsInLineEnd && line.tokens.size() > 1 && line.tokens.back().text.empty()) {
            line.tokens.pop_back();
        }
        return line;
    }

    void declare(const Line& names, const Line& subs, const Line& pairs, int g, bool oneLine) {
        const std::string module = at(names, 0);
        auto declaration = [&](int id, const std::string& name) {
            result_.output += "vector\t" + std::to_string(id) + "\t\"" + module + "\"\t\"" + name + "\"\r\n";
        };
        auto groupName = [&](int group, int pair) {
            return at(names, group + 1) + "." + at(subs, group) + "." + at(pairs, 2 * group + pair);
        };
        if (oneLine) {
            for (int k = 0; k < g; ++k) {
                declaration(k, at(names, k + 1));
            }
            result_.output += "\r\n";
            return;
        }
        for (int group = 0; group < g; ++group) {
            declaration(2 * group, groupName(group, 0));
        }
        result_.output += "\r\n\r\n";
        for (int group = 0; group < g; ++group) {
            declaration(2 * group + 1, groupName(group, 1));
        }
    }

    // The row's first character always starts the abscissa; after it every
    // run of blanks starts a new token.
    bool writeRow(const std::string& row, std::size_t start, int vectors) {
        Line line;
        if (row.empty()) {
            line.tokens = {{"", start}};
        } else {
            line.tokens = splitAtBlanks(row.substr(1), start + 1);
            line.tokens.front().text.insert(0, 1, row[0]);
            line.tokens.front().start = start;
        }
        if (refuseLong(line, static_cast<std::size_t>(vectors) + 1, "value")) {
            return false;
        }
        for (int k = 0; k < vectors; ++k) {
            result_.output +=
                std::to_string(k) + "\t" + at(line, 0) + "\t" + at(line, static_cast<std::size_t>(k) + 1) + "\r\n";
        }
        return true;
    }

    std::string text_;
    ModelResult result_;
};

// Tables that are mostly well formed, with every oddity the format allows
// mixed in now and then.
class TableMaker {
public:
    explicit TableMaker(unsigned start) : random_(start) {}

    std::string make() {
        std::string table = chance(10) ? "\xEF\xBB\xBF" : "";
        const int columns = chance(50) ? pick(1030) : pick(6);
        const bool threeLine = chance(2);
        table += line(columns + 1);
        if (threeLine) {
            table += line(columns) + line(2 * columns);
        }
        if (!chance(8)) {
            table += std::string(1 + pick(5), chance(2) ? '-' : '=') + (chance(4) ? " -=" : "") + lineEnd();
        }
        for (int rows = pick(8); rows > 0; --rows) {
            table += (chance(6) ? " " : "") + line((threeLine ? 2 * columns : columns) + 1 + pick(3) - 1);
        }
        if (chance(4) && !table.empty()) {
            table.pop_back();  // no line end, or a lone CR, at the end
        }
        if (chance(20)) {
            table.insert(pick(static_cast<int>(table.size()) + 1), 1, '\x1A');
        }
        return table;
    }

private:
    bool chance(int oneIn) { return pick(oneIn) == 0; }
    int pick(int below) { return std::uniform_int_distribution<int>(0, std::max(below, 1) - 1)(random_); }

    std::string lineEnd() { return chance(2) ? "\r\n" : "\n"; }

    std::string token() {
        static const std::string odd[] = {"-", "=", "\t", "\r", std::string(1, '\0'), "\xFF", "\"", "e-3", "2=1"};
        if (chance(40)) {
            return std::string(250 + pick(10), '7');
        }
        std::string text;
        for (int length = 1 + pick(6); length > 0; --length) {
            text += chance(12) ? odd[pick(9)] : std::string(1, "0123456789.abcXYZ"[pick(17)]);
        }
        return text;
    }

    std::string line(int tokens) {
        std::string text = chance(10) ? "  " : "";
        for (int i = 0; i < tokens; ++i) {
            text += (i > 0 ? std::string(1 + (chance(5) ? pick(3) : 0), ' ') : "") + token();
        }
        return text + (chance(8) ? "   " : "") + lineEnd();
    }

    std::mt19937 random_;
};

TEST(RandomTables, ConvertExactlyAsAnIndependentModelSays) {
    TableMaker maker(20261208);
    const std::size_t bufferSizes[] = {1, 2, 3, 7, 64, CharSource::kDefaultBufferSize};
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string table = maker.make();
        const ModelResult expected = Model(table).convert();
        // Every other run of six with an output buffer that fills mid-row.
        const std::size_t outputBuffer = round / 6 % 2 == 0 ? VectorFile::kDefaultBufferSize : VectorFile::kMaxReserve;
        const test::Converted actual = convertText(table, bufferSizes[round % 6], outputBuffer);
        const Refusal& refusal = actual.conversion.refusal;
        ASSERT_EQ(refusal ? std::string(describe(refusal.reason)) : std::string(), expected.refusal)
            << "round " << round << "\n" << visible(table);
        if (refusal) {
            ++refused;
            ASSERT_EQ(refusal.line, expected.line) << "round " << round << "\n" << visible(table);
            continue;
        }
        ASSERT_EQ(visible(actual.output), visible(expected.output)) << "round " << round << "\n" << visible(table);
    }
    EXPECT_GT(refused, 100);
    EXPECT_LT(refused, 2900);
}

}  // namespace
}  // namespace morvale
