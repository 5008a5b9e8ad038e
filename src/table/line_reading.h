// What every line reader of a table shares: blanks and line ends, the token
// step that header lines and rows are both cut with, and how a table is
// refused.
#ifndef MORVALE_TABLE_LINE_READING_H
#define MORVALE_TABLE_LINE_READING_H

#include "table/char_source.h"
#include "table/token_table.h"

namespace morvale {

// Why a table was refused, and the line where it was found. A default
// Refusal means the table was accepted.
struct Refusal {
    enum class Reason {
        None,
        NameTooLong,
        ValueTooLong,
        TooManyColumns,
        NotAnExactNumber,  // a value or abscissa that the chosen format's readers cannot take as written
        NotAnExactAbscissa,  // a number as abscissa that they cannot store, however few its digits
        // Tables that would be read otherwise than meant (version 2 files only).
        NoVector,         // no line of names, or one with no data column
        NamesAreNumbers,  // numbers where the names belong
        NoSample,         // rows, none of which gives a sample
        CommaInNumber,    // more values than names where commas separate: decimal commas?
        OneLongLine,      // lines ended by lone CRs, so the whole table is one line
    };
    Reason reason = Reason::None;
    long line = 0;

    explicit operator bool() const { return reason != Reason::None; }
};

// What a refusal says, with the limit it hit: "value longer than 255
// characters". The text lives as long as the program.
const char* describe(Refusal::Reason reason);

constexpr char kBlank = ' ';

inline bool isBlank(char c) { return c == kBlank; }
inline bool isLineEnd(char c) { return c == '\n'; }
inline bool isSeparatorChar(char c) { return c == '=' || c == '-'; }

// The line that `current`, just delivered, stands on: a line end has already
// been counted as ended.
inline long lineOf(char current, const CharSource& source) {
    return isLineEnd(current) ? source.line() - 1 : source.line();
}

// Advances the current character past a run of blanks. It stops at the first
// character that is not a blank, the end marker included.
inline void skipBlanks(char& current, CharSource& source) {
    while (isBlank(current)) {
        current = source.next();
    }
}

// Header lines end at "=" and "-" too; in a row they are ordinary characters.
enum class LineKind { Header, Row };

inline bool endsToken(char c, const CharSource& source, LineKind kind) {
    return isBlank(c) || isLineEnd(c) || source.atEnd() || (kind == LineKind::Header && isSeparatorChar(c));
}

// The step every line is cut with. Reads the token that starts with
// `current`: `current` itself, whatever it is, and every character after it
// up to one that ends the token. Stores it into `slot` when `kept`, and drops
// it otherwise. On return `current` is the character that ended the token,
// still unstored. False when a kept token does not fit its slot.
inline bool readToken(CharSource& source, char& current, TokenTable& table, int slot, bool kept, LineKind kind) {
    int position = 0;
    do {
        if (kept && !table.put(slot, position++, current)) {
            return false;
        }
        current = source.next();
    } while (!endsToken(current, source, kind));
    if (kept) {
        table.terminate(slot, position);
    }
    return true;
}

}  // namespace morvale

#endif
