// Random tables converted by the tool and by a second, independent model of
// the format, written for clarity rather than speed (whole strings, splits and
// searches instead of a character stream). Both must give the same bytes, the
// same refusals, on every buffer size.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "vecfile/number_check.h"
#include "vecfile/sample_lines.h"

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
    std::vector<long> rowLines;  // the line of each row written out
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
        result_.rowLines.push_back(lineOf(start));
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

// The lines of a vector file, each without its CR LF.
std::vector<std::string> linesOf(const std::string& file) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < file.size();) {
        const std::size_t end = file.find("\r\n", start);
        lines.push_back(file.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Whether C's strtod reads the whole token, as the readers of version 2
// files do; no blank or TAB, at which they cut a line.
bool strtodReadsWhole(const std::string& token) {
    if (token.empty() || token.find_first_of(" \t\r\n\f\v") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    std::strtod(token.c_str(), &end);
    return *end == '\0' && end != token.c_str() && token.find('\0') == std::string::npos;
}

// What a version 2 file of the table must hold, from the version 1 file the
// model writes: the same declarations with names escaped, then each vector's
// samples with an abscissa and a value, in row order; or the refusal of the
// first token, in reading order, that the readers would not take as written.
struct Version2Model {
    std::string declarations;
    std::map<int, std::vector<std::string>> samples;  // by vector
    long leftOut = 0;
    long firstLeftOutLine = 0;
    long refusedLine = 0;
    std::string refusedText;
};

std::string escaped(const std::string& name) {
    std::string text;
    for (char c : name) {
        if (c == '"' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text;
}

// An abscissa as a version 2 file holds it: as written if its readers store
// it so, else as the shortest decimal of its double, if they store that.
std::string writtenAbscissa(const std::string& abscissa) {
    char room[kAbscissaRoom];
    return isExactAbscissa(abscissa) ? abscissa : std::string(shortestExactAbscissa(abscissa, room));
}

// The tables' module name, "Time", which needs no escape.
Version2Model version2Of(const ModelResult& version1, int vectors) {
    Version2Model model;
    const std::vector<std::string> lines = linesOf(version1.output);
    std::size_t next = 0;
    for (; next < lines.size() && (lines[next].empty() || lines[next].rfind("vector\t", 0) == 0); ++next) {
        if (lines[next].empty()) {
            model.declarations += "\r\n";
            continue;
        }
        const std::size_t nameStart = lines[next].find("\"Time\"\t\"") + 8;
        const std::string name = lines[next].substr(nameStart, lines[next].size() - 1 - nameStart);
        model.declarations += lines[next].substr(0, nameStart) + escaped(name) + "\"\r\n";
    }
    for (std::size_t row = 0; next < lines.size(); ++row) {
        const long line = version1.rowLines[row];
        std::vector<std::pair<std::string, std::string>> samples;  // abscissa, value
        for (int id = 0; id < vectors; ++id, ++next) {
            const std::string& sample = lines[next];
            const std::size_t first = sample.find('\t');
            const std::size_t second = sample.find('\t', first + 1);
            samples.emplace_back(sample.substr(first + 1, second - first - 1), sample.substr(second + 1));
        }
        const std::string abscissa = vectors > 0 ? samples[0].first : std::string();
        // A row with no value, or no abscissa, gives no sample and has nothing checked.
        const bool emptyRow = abscissa.empty() ||
                              std::all_of(samples.begin(), samples.end(), [](const auto& s) { return s.second.empty(); });
        long empty = 0;
        for (int id = 0; id < vectors && !emptyRow; ++id) {
            const std::string& value = samples[static_cast<std::size_t>(id)].second;
            if (id == 0 && !isExactAbscissa(abscissa) && writtenAbscissa(abscissa).empty()) {
                model.refusedLine = line;
                model.refusedText = abscissa;
                return model;
            }
            if (value.empty()) {
                ++empty;
                continue;
            }
            if (!strtodReadsWhole(value)) {
                model.refusedLine = line;
                model.refusedText = value;
                return model;
            }
            model.samples[id].push_back(std::to_string(id) + "\t" + writtenAbscissa(abscissa) + "\t" + value);
        }
        const long left = emptyRow ? vectors : empty;
        if (left > 0 && model.leftOut == 0) {
            model.firstLeftOutLine = line;
        }
        model.leftOut += left;
    }
    return model;
}

// Numbers as measurement tools and people write them, and now and then what
// the readers cannot read.
class NumberTableMaker {
public:
    // `meant`: only tables that version 2's reading, which takes TABs as
    // separators and skips empty lines, reads as the first format's does.
    explicit NumberTableMaker(unsigned start, bool meant = false) : random_(start), meant_(meant) {}

    std::string make(int& vectors) {
        // A table of no data column is refused as misread by version 2.
        const int columns = std::max(meant_ ? 1 : 0, chance(20) ? pick(300) : 1 + pick(6));
        const bool threeLine = chance(3);
        fullDigits_ = chance(10);
        vectors = threeLine ? 2 * columns : columns;
        std::string table = "Time";
        for (int column = 0; column < columns; ++column) {
            table += " " + name();
        }
        table += lineEnd();
        if (threeLine) {
            std::string subs;
            std::string pairs;
            for (int column = 0; column < columns; ++column) {
                subs += name() + " ";
                pairs += name() + " " + name() + " ";
            }
            table += subs + lineEnd() + pairs + lineEnd();
        }
        table += "-------" + lineEnd();
        for (int rows = pick(60); rows > 0; --rows) {
            if (chance(15) && !meant_) {
                table += (chance(2) ? "   " : "") + lineEnd();
                continue;
            }
            table += abscissa();
            // Nor may every row give no sample.
            const int least = meant_ ? 1 : 0;
            for (int value = std::max(least, vectors - (chance(8) ? pick(3) : 0) + (chance(10) ? 1 : 0)); value > 0;
                 --value) {
                table += std::string(1 + (chance(6) ? pick(3) : 0), ' ') + number();
            }
            table += lineEnd();
        }
        return table;
    }

private:
    bool chance(int oneIn) { return pick(oneIn) == 0; }
    int pick(int below) { return std::uniform_int_distribution<int>(0, std::max(below, 1) - 1)(random_); }
    std::string lineEnd() { return chance(2) ? "\r\n" : "\n"; }

    std::string name() {
        static const char* const names[] = {"V", "I_out", "T(x)", "q\"1\"", "C:\\dir", "a.b", "\xC3\xA9t\xC3\xA9", "x\ty"};
        return names[pick(meant_ ? 7 : 8)];
    }

    std::string abscissa() {
        static const char* const odd[] = {"1e-30", "0x1A", "9223372036854775808", "1.5E+02", "0.0000000000000000001",
                                          "-0", "+7", ".5", "5.", "1.000000000000000056e-01",
                                          "9.300000000000000000e+00", "00000000000000000000000000000001.5"};
        if (chance(400)) {
            return odd[pick(12)];
        }
        if (fullDigits_) {
            char text[32];
            std::snprintf(text, sizeof text, "%.18e", pick(100000) * 0.001);
            return text;
        }
        return std::to_string(pick(100000)) + (chance(2) ? "." + std::to_string(pick(1000000)) : "");
    }

    std::string number() {
        static const char* const forms[] = {"0.000123456", "-1.2345e-05", "4.839335", "12", "+.5e+3", "1.5E+02", "5.",
                                            ".5", "007", "0x1A", "1e400", "nan", "-Infinity", "12345678901234567890.5",
                                            "-0.0000000000000000000012", "-9.983341664682815475e-02",
                                            "1.00000000000000000000000000e+00", "1.000000000000000000000000000e+00"};
        static const char* const bad[] = {"abc", "1,5", "1e", "--1", "1.0d0", "e5", ".", "-", "1_000"};
        if (chance(300)) {
            return bad[pick(9)];
        }
        return forms[pick(18)];
    }

    std::mt19937 random_;
    bool fullDigits_ = false;  // abscissas written as numpy writes them by default
    bool meant_;
};

// Version 2 files hold the samples that version 1 files hold, but those with
// an empty abscissa or value, each vector's in row order, however small the
// blocks that gather them and wherever the input's buffer ends; and a table
// with a number the readers would not read as written is refused at it.
TEST(RandomTables, Version2KeepsEveryVectorsSamplesInRowOrder) {
    std::setlocale(LC_NUMERIC, "C");
    NumberTableMaker maker(20261209, true);
    const std::size_t blocks[] = {kMaxSampleLine, kMaxSampleLine + 40, 4096, SampleBlocks::kLargestBlock};
    const std::size_t bufferSizes[] = {1, 7, 64, CharSource::kDefaultBufferSize};
    int refused = 0;
    int leftOut = 0;
    for (int round = 0; round < 1500; ++round) {
        int vectors = 0;
        const std::string table = maker.make(vectors);
        const ModelResult version1 = Model(table).convert();
        ASSERT_EQ(version1.refusal, "") << visible(table);
        Version2Model expected = version2Of(version1, vectors);
        const test::Converted actual = test::convertTextToVersion2(table, bufferSizes[round % 4], VectorFile::kDefaultBufferSize,
                                                                   blocks[round / 4 % 4]);
        const Conversion& conversion = actual.conversion;
        const std::string trace = "round " + std::to_string(round) + "\n" + visible(table);
        if (expected.refusedLine != 0) {
            ++refused;
            ASSERT_EQ(conversion.outcome, ConversionOutcome::Refused) << trace;
            EXPECT_EQ(conversion.refusal.line, expected.refusedLine) << trace;
            EXPECT_EQ(visible(conversion.refusedText), visible(expected.refusedText)) << trace;
            continue;
        }
        ASSERT_EQ(conversion.outcome, ConversionOutcome::Converted) << trace;
        const std::vector<std::string> lines = linesOf(actual.output);
        std::map<int, std::vector<std::string>> samples;
        std::string declarations;
        std::size_t line = 5;  // after the heading
        for (; line < lines.size() && (lines[line].empty() || lines[line].rfind("vector\t", 0) == 0); ++line) {
            declarations += lines[line] + "\r\n";
        }
        for (; line < lines.size(); ++line) {
            samples[std::stoi(lines[line])].push_back(lines[line]);
        }
        EXPECT_EQ(visible(declarations), visible(expected.declarations)) << trace;
        EXPECT_EQ(samples, expected.samples) << trace;
        EXPECT_EQ(conversion.leftOut, expected.leftOut) << trace;
        EXPECT_EQ(conversion.firstLeftOutLine, expected.firstLeftOutLine) << trace;
        leftOut += conversion.leftOut > 0 ? 1 : 0;
    }
    EXPECT_GT(refused, 50);
    EXPECT_LT(refused, 1000);
    EXPECT_GT(leftOut, 100);
}

}  // namespace
}  // namespace morvale
