// The header of a table read as meant: its lines read whole, then judged.
#include "table/meant_header.h"

#include <algorithm>

namespace morvale {

namespace {

// A header line longer than this holds no names a vector file could take.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;

struct Line {
    std::string text;
    long number = 0;
    bool tooLong = false;
};

// Reads the next line whole; false at the end of the input.
bool readLine(CharSource& source, Line& line) {
    char c = source.next();
    if (source.atEnd()) {
        return false;
    }
    line.number = lineOf(c, source);
    line.text.clear();
    line.tooLong = false;
    while (!isLineEnd(c) && !source.atEnd()) {
        if (line.text.size() < kLongestLine) {
            line.text += c;
        } else {
            line.tooLong = true;
        }
        c = source.next();
    }
    return true;
}

bool isEmptyLine(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// The text of a comment line after its marks, or empty for another line.
bool isComment(const std::string& text, std::string& words) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] != '#') {
        return false;
    }
    words = text.substr(std::min(text.find_first_not_of('#', first), text.size()));
    return true;
}

// A line of "-" or "=", with blanks, TABs and separators between them.
bool isSeparatorLine(const std::string& text) {
    return text.find_first_not_of(" \t-=,;") == std::string::npos && text.find_first_of("-=") != std::string::npos;
}

// What the lines read so far say: the last comment line's words, if any.
struct Scan {
    CharSource& source;
    HeaderInfo& header;
    MeantHeader& meant;
    TokenTable& scratch;
    Line comment;  // empty when no comment line held words
    bool separatorGiven = false;  // named by the table's first line, sep=X
};

// The dialect of names on `text`: the one the table named, or the one they
// show.
Separator dialectOf(const Scan& scan, const std::string& text) {
    return scan.separatorGiven ? scan.meant.separator : separatorOf(text);
}

// A first line "sep=X", as spreadsheets write it to name the separator, X a
// comma, semicolon or TAB: the separator is X.
bool isSeparatorNamed(const Line& line, Separator& separator) {
    const std::string& text = line.text;
    if (line.number != 1 || text.size() < 5 || text.compare(0, 4, "sep=") != 0 ||
        text.find_first_not_of(" \t,;", 5) != std::string::npos) {
        return false;
    }
    switch (text[4]) {
    case ',':
        separator = Separator::Comma;
        return true;
    case ';':
        separator = Separator::Semicolon;
        return true;
    case '\t':
        separator = Separator::Tab;
        return true;
    default:
        return false;
    }
}

// Reads up to the next line that is neither empty nor a comment; false at the
// end of the input. A comment that holds a line of names is remembered.
bool nextContentLine(Scan& scan, Line& line) {
    std::string words;
    while (readLine(scan.source, line)) {
        if (line.tooLong || !isComment(line.text, words)) {
            if (line.tooLong || !isEmptyLine(line.text)) {
                return true;
            }
            continue;
        }
        if (!isEmptyLine(words) && !isSeparatorLine(words)) {
            scan.comment.text = words;
            scan.comment.number = line.number;
        }
    }
    return false;
}

// Cuts `text` into `table` by the table's dialect; false when a field kept
// does not fit its slot.
bool cutText(const std::string& text, Separator separator, TokenTable& table, int kept, LineCut& cut) {
    LineChars chars(text);
    char c = chars.next();
    return cutLine(chars, c, separator, table, kept, false, cut);
}

// Every field that is not empty reads as a number, the first among them.
bool allNumeric(const TokenTable& table, int fields, bool decimalComma) {
    if (fields == 0 || table.token(0).empty()) {
        return false;
    }
    for (int slot = 0; slot < std::min(fields, TokenTable::kSlots); ++slot) {
        const std::string_view field = table.token(slot);
        if (!field.empty() && !looksNumeric(field, decimalComma)) {
            return false;
        }
    }
    return true;
}

// A row of numbers in the dialect the names chose.
bool isRow(Scan& scan, const Line& line) {
    LineCut cut;
    const Separator separator = scan.meant.separator;
    return cutText(line.text, separator, scan.scratch, TokenTable::kSlots, cut) &&
           allNumeric(scan.scratch, cut.fields, hasDecimalComma(separator));
}

// One word per name, none of them a number: a line of units.
bool isUnits(Scan& scan, const Line& line) {
    LineCut cut;
    HeaderInfo& header = scan.header;
    // Where fields are separated, trailing empty cells are units not given.
    const bool separated = scan.meant.separator != Separator::Spaced;
    if (!cutText(line.text, scan.meant.separator, header.unitTable, TokenTable::kSlots, cut) || cut.fields == 0 ||
        (separated ? cut.fields > header.columnCount + 1 : cut.fields != header.columnCount + 1)) {
        return false;
    }
    header.unitTable.makeEmpty(cut.fields, header.columnCount + 1);
    for (int slot = 0; slot < cut.fields; ++slot) {
        if (looksNumeric(header.unitTable.token(slot), false)) {
            return false;
        }
    }
    return true;
}

// At most three: a header's second and third lines and the one after them.
void keepRow(Scan& scan, const Line& line) {
    MeantHeader& meant = scan.meant;
    if (meant.rows == MeantHeader::kMostRows) {
        return;
    }
    meant.rowText[meant.rows] = line.text;
    meant.rowLine[meant.rows] = line.number;
    ++meant.rows;
}

// Cuts the line of names into header line 1.
Refusal takeNames(Scan& scan, const Line& line) {
    HeaderInfo& header = scan.header;
    LineCut cut;
    if (!cutText(line.text, scan.meant.separator, header.nameTable, TokenTable::kSlots, cut)) {
        return Refusal{Refusal::Reason::NameTooLong, line.number};
    }
    header.columnCount = std::max(cut.fields - 1, 0);
    header.lines[0] = HeaderLineNotes{line.number, cut.fields, false};
    if (header.columnCount > kMaxVectors) {
        return Refusal{Refusal::Reason::TooManyColumns, line.number};
    }
    if (header.columnCount == 0) {
        return Refusal{Refusal::Reason::NoVector, line.number};
    }
    if (allNumeric(header.nameTable, cut.fields, hasDecimalComma(scan.meant.separator))) {
        return Refusal{Refusal::Reason::NamesAreNumbers, line.number};
    }
    return Refusal{};
}

// Cuts a line of the three-line header into `table`, `kept` names at most.
Refusal takeGroupLine(Scan& scan, const Line& line, TokenTable& table, int kept, HeaderLineNotes& notes) {
    LineCut cut;
    if (!cutText(line.text, scan.meant.separator, table, kept, cut)) {
        return Refusal{Refusal::Reason::NameTooLong, line.number};
    }
    table.makeEmpty(std::min(cut.fields, kept), kept);
    notes = HeaderLineNotes{line.number, cut.fields, false};
    return Refusal{};
}

// Header lines 2 and 3, the first of them read already, and the second too
// when `third` is given, when a separator line follows them; otherwise rows.
Refusal takeThreeLines(Scan& scan, const Line& second, const Line* third) {
    HeaderInfo& header = scan.header;
    Line lines[2];
    bool more = true;
    if (third != nullptr) {
        lines[0] = *third;
    } else {
        more = nextContentLine(scan, lines[0]);
    }
    const bool separated = more && nextContentLine(scan, lines[1]) && isSeparatorLine(lines[1].text);
    if (!separated) {
        keepRow(scan, second);
        for (int line = 0; line < (more ? 2 : 0) && !lines[line].text.empty(); ++line) {
            keepRow(scan, lines[line]);
        }
        return Refusal{};
    }
    header.layout = HeaderLayout::ThreeLine;
    header.hasUnits = false;
    const int groups = header.columnCount;
    if (2 * groups > kMaxVectors) {
        return Refusal{Refusal::Reason::TooManyColumns, header.lines[0].line};
    }
    if (Refusal refusal = takeGroupLine(scan, second, header.subNameTable, groups, header.lines[1])) {
        return refusal;
    }
    return takeGroupLine(scan, lines[0], header.pairNameTable, 2 * groups, header.lines[2]);
}

// What follows the names: the separator line, a row, units or header lines.
Refusal takeLinesAfterNames(Scan& scan) {
    Line line;
    if (!nextContentLine(scan, line) || isSeparatorLine(line.text)) {
        return Refusal{};
    }
    if (line.tooLong || isRow(scan, line)) {
        keepRow(scan, line);
        return Refusal{};
    }
    if (!isUnits(scan, line)) {
        return takeThreeLines(scan, line, nullptr);
    }
    Line after;
    if (!nextContentLine(scan, after) || isSeparatorLine(after.text)) {
        scan.header.hasUnits = true;
        return Refusal{};
    }
    if (after.tooLong || isRow(scan, after)) {
        scan.header.hasUnits = true;
        keepRow(scan, after);
        return Refusal{};
    }
    return takeThreeLines(scan, line, &after);
}

// The names on the last comment line, right above the rows.
Refusal takeCommentNames(Scan& scan) {
    scan.meant.separator = dialectOf(scan, scan.comment.text);
    return takeNames(scan, scan.comment);
}

void startHeader(HeaderInfo& header, MeantHeader& meant) {
    header.layout = HeaderLayout::OneLine;
    header.columnCount = 0;
    header.hasUnits = false;
    header.lines[0] = header.lines[1] = header.lines[2] = HeaderLineNotes();
    meant = MeantHeader();
}

}  // namespace

Refusal readMeantHeader(CharSource& source, HeaderInfo& header, MeantHeader& meant, TokenTable& scratch) {
    startHeader(header, meant);
    Scan scan{source, header, meant, scratch, Line(), false};
    Line first;
    bool more = nextContentLine(scan, first);
    if (more && isSeparatorNamed(first, meant.separator)) {
        scan.separatorGiven = true;
        more = nextContentLine(scan, first);
    }
    if (!more) {
        return !scan.comment.text.empty() ? takeCommentNames(scan) : Refusal{Refusal::Reason::NoVector, 1};
    }
    if (source.atEnd() && source.line() == 1 && source.controls().loneCarriageReturns.lines > 0) {
        return Refusal{Refusal::Reason::OneLongLine, 1};
    }
    if (first.tooLong) {
        return Refusal{Refusal::Reason::NameTooLong, first.number};
    }
    meant.separator = dialectOf(scan, first.text);
    const bool separatorLine = isSeparatorLine(first.text);
    if (separatorLine || isRow(scan, first)) {
        if (scan.comment.text.empty()) {
            return Refusal{separatorLine ? Refusal::Reason::NoVector : Refusal::Reason::NamesAreNumbers,
                           first.number};
        }
        if (!separatorLine) {
            keepRow(scan, first);
        }
        return takeCommentNames(scan);
    }
    if (Refusal refusal = takeNames(scan, first)) {
        return refusal;
    }
    return takeLinesAfterNames(scan);
}

}  // namespace morvale
