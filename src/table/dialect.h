// Tables as the programs of today write them, for the version 2 vector file:
// fields separated by runs of blanks and TABs, by single TABs, by commas or by
// semicolons, the latter three with the quoting rules of CSV files, and lines
// of comments. The dialect is chosen once, from the line of names; each line
// is then cut field by field, from the input or from a line held in memory.
#ifndef MORVALE_TABLE_DIALECT_H
#define MORVALE_TABLE_DIALECT_H

#include <string_view>

#include "table/line_reading.h"
#include "table/token_table.h"

namespace morvale {

// How the fields of a line are separated. Spaced: runs of blanks and TABs.
// The others: each one character; blanks around a field are not part of it,
// and a field between double quotes may hold anything but a line end.
enum class Separator { Spaced, Tab, Comma, Semicolon };

// The character between the fields of a separated table; 0 for a spaced one.
constexpr char separatorChar(Separator separator) {
    switch (separator) {
    case Separator::Spaced:
        return '\0';
    case Separator::Tab:
        return '\t';
    case Separator::Comma:
        return ',';
    case Separator::Semicolon:
        return ';';
    }
    return '\0';
}

// Whether a number's comma is its decimal point: where semicolons separate.
constexpr bool hasDecimalComma(Separator separator) { return separator == Separator::Semicolon; }

// The dialect of a table whose names stand on `line`: semicolons or commas
// outside quotes make a separated table, in that order; TABs make one when
// they separate every name by one TAB, and otherwise runs of blanks and TABs
// separate.
Separator separatorOf(std::string_view line);

// Whether a field reads as a number as tables write them: decimal, with an
// optional exponent, or inf or nan; with a decimal comma instead of the point
// when `decimalComma`.
bool looksNumeric(std::string_view text, bool decimalComma);
// The same without inf and nan: 0, -1.5, .5, 2e-3, -1.5E+02.
bool isDecimalNumber(std::string_view text, bool decimalComma);

// A line held in memory, delivered as CharSource delivers a line: its
// characters, then a line end.
class LineChars {
public:
    explicit LineChars(std::string_view text) : text_(text) {}
    char next() { return at_ < text_.size() ? text_[at_++] : '\n'; }
    bool atEnd() const { return false; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// What cutLine() found on a line.
struct LineCut {
    int fields = 0;        // up to the last one that is not empty, counted to kept + 1 at most
    bool comment = false;  // its first character after blanks and TABs is "#"
    bool empty = false;    // it holds nothing but blanks and TABs
    bool beyond = false;   // a field that is not empty after the kept ones
};

namespace dialect_detail {

inline bool isSpace(char c) { return c == kBlank || c == '\t'; }

template <typename Chars>
bool endsLine(char c, const Chars& in) {
    return isLineEnd(c) || in.atEnd();
}

// A field of a spaced line: up to a blank, TAB or line end.
template <typename Chars>
bool cutSpacedField(Chars& in, char& c, TokenTable& table, int slot, bool kept) {
    int position = 0;
    do {
        if (kept && !table.put(slot, position++, c)) {
            return false;
        }
        c = in.next();
    } while (!isSpace(c) && !endsLine(c, in));
    if (kept) {
        table.terminate(slot, position);
    }
    return true;
}

template <typename Chars>
bool cutSpacedFields(Chars& in, char& c, TokenTable& table, int kept, LineCut& cut) {
    int slot = 0;
    int fields = 0;
    while (!endsLine(c, in)) {
        if (!cutSpacedField(in, c, table, slot, slot < kept)) {
            return false;
        }
        fields += fields <= kept ? 1 : 0;
        slot += slot < kept ? 1 : 0;
        while (isSpace(c)) {
            c = in.next();
        }
    }
    cut.fields = fields;
    cut.beyond = fields > kept;
    return true;
}

// The part of a field between double quotes, from the opening quote on; two
// quotes stand for one. It ends at the closing quote or, unclosed, at the
// line end. `position` counts what the field holds so far.
template <typename Chars>
bool cutQuoted(Chars& in, char& c, TokenTable& table, int slot, bool kept, int& position) {
    c = in.next();
    while (!endsLine(c, in)) {
        if (c == '"') {
            c = in.next();
            if (c != '"') {
                return true;
            }
        }
        if (kept && !table.put(slot, position, c)) {
            return false;
        }
        ++position;
        c = in.next();
    }
    return true;
}

// A field of a separated line, without the blanks around it; `filled` when
// it is not empty.
template <typename Chars>
bool cutSeparatedField(Chars& in, char& c, char separator, TokenTable& table, int slot, bool kept, bool& filled) {
    while (c == kBlank || (c == '\t' && separator != '\t')) {
        c = in.next();
    }
    int position = 0;
    if (c == '"' && !cutQuoted(in, c, table, slot, kept, position)) {
        return false;
    }
    int length = position;  // up to its last character that is not a blank
    while (c != separator && !endsLine(c, in)) {
        if (kept && !table.put(slot, position, c)) {
            return false;
        }
        ++position;
        length = isSpace(c) ? length : position;
        c = in.next();
    }
    if (kept) {
        table.terminate(slot, length);
    }
    filled = length > 0;
    return true;
}

// A decimal comma, the only comma of a field without a point, becomes a point.
inline void takeDecimalComma(TokenTable& table, int slot) {
    const std::string_view field = table.token(slot);
    const std::size_t comma = field.find(',');
    if (comma != std::string_view::npos && field.find_first_of(",.", comma + 1) == std::string_view::npos &&
        field.find('.') == std::string_view::npos) {
        table.put(slot, static_cast<int>(comma), '.');
    }
}

template <typename Chars>
bool cutSeparatedFields(Chars& in, char& c, char separator, TokenTable& table, int kept, bool decimalComma,
                        LineCut& cut) {
    int slot = 0;
    for (;;) {
        bool filled = false;
        if (!cutSeparatedField(in, c, separator, table, slot, slot < kept, filled)) {
            return false;
        }
        if (decimalComma && slot < kept) {
            takeDecimalComma(table, slot);
        }
        cut.fields = filled ? slot + 1 : cut.fields;
        cut.beyond = cut.beyond || (filled && slot >= kept);
        if (c != separator || endsLine(c, in)) {
            break;
        }
        c = in.next();
        slot += slot < kept ? 1 : 0;
    }
    return true;
}

}  // namespace dialect_detail

// Cuts the line that starts with `c` into the slots of `table` below `kept`;
// fields after them are read and dropped. The slots from `cut.fields` on
// hold nothing of the line, but may hold what they held: the caller empties
// those it may use (a header's names use few of the slots they may fill). A
// comment line is read to its end. A decimal comma
// becomes a point when `decimalComma` (the rows of a semicolon-separated
// table). On return `c` is the line end or the end marker. False when a kept
// field does not fit its slot.
template <typename Chars>
bool cutLine(Chars& in, char& c, Separator separator, TokenTable& table, int kept, bool decimalComma, LineCut& cut) {
    using namespace dialect_detail;
    cut = LineCut();
    while (c == kBlank || (c == '\t' && separator != Separator::Tab)) {  // a TAB there starts an empty field
        c = in.next();
    }
    cut.empty = endsLine(c, in);
    if (c == '#') {
        cut.comment = true;
        while (!endsLine(c, in)) {
            c = in.next();
        }
        return true;
    }
    if (separator == Separator::Spaced) {
        return cutSpacedFields(in, c, table, kept, cut);
    }
    return cutSeparatedFields(in, c, separatorChar(separator), table, kept, decimalComma, cut);
}

}  // namespace morvale

#endif
