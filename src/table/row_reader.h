// The row reader: data rows cut into their abscissa and values.
#ifndef MORVALE_TABLE_ROW_READER_H
#define MORVALE_TABLE_ROW_READER_H

#include <cstddef>
#include <string_view>

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/plain_run.h"
#include "table/token_table.h"

namespace morvale {

// Slot 0 holds the row's abscissa, slot k (1 to V) the value of vector k - 1.
using RowTable = TokenTable;

// Cuts one row into `row` by the token step. On entry `current` is the row's
// first character and the input has not ended; on return it is the character
// that ended the row (a line end or the end marker). The row's first
// character always starts the abscissa, a blank included, and "=" and "-"
// are ordinary characters here. Slots the row does not supply, up to V, are
// emptied; tokens after slot V are read and dropped. A value that may be
// written out and is too long for a slot refuses the table.
Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row);

// The common rows, a token at a time, straight from the bytes the source has
// read ahead: plain tokens separated by runs of blanks, then a line end. They
// are cut exactly as readRow() would cut them, without copying a byte, and
// one running mask of stops serves them all. A row that is not such a row,
// or not all read yet, is never taken: it is left to readRow().
//
//   while (rows.startRow()) {
//       while (rows.nextToken(token)) { ... }
//       if (!rows.takeRow()) { break; }  // what was made of the row is void
//   }
//
// Tokens refer to the source's buffer: they are valid until it reads on.
class PlainRows {
public:
    // From the row whose first character the source has just delivered.
    explicit PlainRows(CharSource& source)
        : source_(source),
          start_(source.lastPlain()),
          stops_(start_, source.aheadEnd()),
          stop_(stops_.next()) {}

    // Starts the next row; false when it starts with anything but a plain
    // character, the end of what was read among others.
    bool startRow() const { return isPlain(*start_); }

    // The row's next token; false once the row has no more.
    bool nextToken(std::string_view& token) {
        const unsigned char* const start = start_;
        if (!isPlain(*start)) {
            return false;
        }
        const unsigned char* const stop = stop_;
        token = std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start));
        const unsigned char* after = stop;
        while (isBlank(static_cast<char>(*after))) {
            ++after;
        }
        const unsigned char* following = stops_.next();
        while (following < after) {  // the blanks after the first
            following = stops_.next();
        }
        start_ = after;
        stop_ = following;
        return true;
    }

    // Takes the row whose tokens have all been cut from the source, when a
    // line end closes it; false, taking nothing, when anything else does.
    bool takeRow() {
        const unsigned char* lineEnd = start_;
        if (*lineEnd == '\r' && lineEnd[1] == '\n') {  // the byte after is there: at most the stop byte
            ++lineEnd;
        }
        if (*lineEnd != '\n') {
            return false;
        }
        while (stop_ <= lineEnd) {
            stop_ = stops_.next();
        }
        source_.takeLine(lineEnd);
        start_ = lineEnd + 1;
        return true;
    }

private:
    CharSource& source_;
    const unsigned char* start_;  // where the next token or row starts, or the row's line end
    Stops stops_;
    // The first stop not yet taken: where the token at `start_` ends, when one
    // starts there; otherwise one at the most just past the line end, which
    // takeRow() steps over.
    const unsigned char* stop_;
};

}  // namespace morvale

#endif
