// What the readers of a table saw while the rules read through it: the facts
// that the warnings on tables read otherwise than meant are decided from.
// Each reader notes its part where it already looks at the characters, so
// that noting costs nothing on the common rows.
#ifndef MORVALE_TABLE_TABLE_NOTES_H
#define MORVALE_TABLE_TABLE_NOTES_H

namespace morvale {

// The lines on which one thing was seen: the first, and how many.
struct LineTally {
    long first = 0;  // 0 while nothing was seen
    long lines = 0;
    long last = 0;

    // Lines are noted in increasing order; noting the last one again adds
    // nothing.
    void note(long line) {
        if (line != last) {
            first = lines++ == 0 ? line : first;
            last = line;
        }
    }

    // Takes back a note of `line`, if it was the last one.
    void forget(long line) {
        if (lines > 0 && last == line) {
            first = --lines == 0 ? 0 : first;
            last = 0;
        }
    }

    // Adds the lines of a tally of later lines.
    void add(const LineTally& later) {
        if (later.lines == 0) {
            return;
        }
        const bool shared = later.first == last;
        first = lines == 0 ? later.first : first;
        lines += later.lines - (shared ? 1 : 0);
        last = later.last;
    }
};

// The bytes that the source delivers as they are, but that no text table
// meant to hold.
struct ControlNotes {
    LineTally tabs;
    LineTally zeroBytes;
    LineTally loneCarriageReturns;  // CRs with no LF after them
};

// The rows that are not a row of one value per vector.
struct RowNotes {
    LineTally startsWithBlank;  // a row that starts with blanks, then holds a value
    LineTally empty;            // an empty row, or one of blanks only
    LineTally fewerValues;
    LineTally moreValues;
    // The line of the row that starts on the separator line, after the
    // character that ended its run of "-", "=" and blanks; 0 when there is
    // none. Where that row starts is not noted.
    long separatorRemainder = 0;
};

}  // namespace morvale

#endif
