// The header reader: the one or three header lines of a table, its layout and
// column count, and the separator line that follows them.
#ifndef MORVALE_TABLE_HEADER_READER_H
#define MORVALE_TABLE_HEADER_READER_H

#include "table/char_source.h"
#include "table/line_reading.h"
#include "table/token_table.h"

namespace morvale {

// Decided by the first character after header line 1: "=" or "-" (the
// separator line) means one line of names; anything else means three lines.
enum class HeaderLayout { OneLine, ThreeLine };

// What one header line held, whatever of it was kept.
struct HeaderLineNotes {
    long line = 0;     // the line it starts on
    long names = 0;    // its names
    bool cut = false;  // a "-" or "=" ended it, not a line end
};

struct HeaderInfo {
    HeaderLayout layout = HeaderLayout::OneLine;
    // G: the names after the abscissa heading on header line 1 (data columns,
    // or column groups of two data columns each in the three-line layout).
    int columnCount = 0;
    TokenTable nameTable;      // header line 1; slot 0 is the module name
    TokenTable subNameTable;   // header line 2: one sub-name per group
    TokenTable pairNameTable;  // header line 3: two pair names per group
    // Header lines 1 to 3 as read; lines 2 and 3 only in the three-line layout.
    HeaderLineNotes lines[3];
    // A line of units under the names, one per name, the abscissa's first;
    // only tables read as their programs meant them have one.
    TokenTable unitTable;
    bool hasUnits = false;

    // V: the number of vectors the file declares.
    int vectorCount() const {
        switch (layout) {
        case HeaderLayout::OneLine:
            return columnCount;
        case HeaderLayout::ThreeLine:
            return 2 * columnCount;
        }
        return 0;
    }
};

// Reads the header from the start of the input. On return `current` is the
// first character of the separator line (one-line layout) or the character
// that ended header line 3 (three-line layout). A header with more than
// kMaxVectors data columns, or with a name that may be written out and is too
// long for a slot, is refused.
Refusal readHeader(CharSource& source, char& current, HeaderInfo& header);

// What skipSeparator() found where the separator line belongs.
struct SeparatorLine {
    long line = 0;         // the line it was looked for on
    bool found = false;    // the run of "=", "-" and blanks held a "=" or "-"
    bool cutRow = false;   // the run did not end at a line end: the character
                           // that ended it, which the caller drops, began a row
    bool cutAtCarriageReturn = false;  // that character was a CR with no LF after it
};

// Consumes the rest of the separator line. On return `current` is the first
// character after the run of "=", "-" and blanks; the caller drops it.
SeparatorLine skipSeparator(CharSource& source, char& current);

}  // namespace morvale

#endif
