// The row reader: data rows cut into their abscissa and values, the common
// ones straight from the input's buffer, any other one a character at a time.
#ifndef MORVALE_TABLE_ROW_READER_H
#define MORVALE_TABLE_ROW_READER_H

#include <cstddef>
#include <string_view>

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/plain_run.h"
#include "table/table_notes.h"
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
// written out and is too long for a slot refuses the table. A row that is
// empty, starts with a blank, or holds fewer or more values than V is noted.
Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row, RowNotes& notes);

// The common rows, a token at a time, straight from the bytes the source has
// read ahead: plain tokens separated by runs of blanks, then a line end. They
// are cut exactly as readRow() would cut them, without copying a byte, and
// one running mask of token ends serves them all. A row that is not such a
// row, or not all read yet, is never taken: it is left to readRow().
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
        : ahead_(source.lookahead()),
          start_(ahead_.begin()),
          ends_(start_, ahead_.end()),
          tokenEnd_(ends_.next()) {}

    // Starts the next row; false when it starts with anything but a plain
    // character, the end of what was read among others.
    bool startRow() const { return isPlain(*start_); }

    // The line of the row being cut, or of the next one once it was taken.
    long line() const { return ahead_.line(); }

    // The row's next token; false once the row has no more.
    bool nextToken(std::string_view& token) {
        const unsigned char* const start = start_;
        if (!isPlain(*start)) {
            return false;
        }
        const unsigned char* const end = tokenEnd_;
        token = std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(end - start));
        const unsigned char* after = end;
        while (isBlank(static_cast<char>(*after))) {
            ++after;
        }
        const unsigned char* following = ends_.next();
        while (following < after) {  // the blanks after the first
            following = ends_.next();
        }
        start_ = after;
        tokenEnd_ = following;
        return true;
    }

    // Takes the row whose tokens have all been cut from the source, when a
    // line end closes it; false, taking nothing, when anything else does.
    bool takeRow() {
        const unsigned char* const next = ahead_.pastLineEnd(start_);
        if (next == nullptr) {
            return false;
        }
        while (tokenEnd_ < next) {  // the line end's own bytes
            tokenEnd_ = ends_.next();
        }
        ahead_.take(next);
        start_ = next;
        return true;
    }

private:
    CharSource::Lookahead ahead_;
    const unsigned char* start_;  // where the next token or row starts, or the row's line end
    TokenEnds ends_;
    // The first token end not yet passed: where the token at `start_` ends,
    // when one starts there; otherwise one in the line end at the most, which
    // takeRow() steps over.
    const unsigned char* tokenEnd_;
};

// Reads every row after the separator line, which the source is just
// before. Each run of common rows is offered to the sink straight from the
// input's buffer, `sink.takePlainRows(rows)`, which cuts as many as it takes
// and says whether it took any; a row it does not take, and every other row,
// is cut by readRow() into `row`, noted in `notes` and handed to
// `sink.takeRow(row)`. Stops at the first row that is refused, and once
// `sink.stopped()`.
template <typename Sink>
Refusal readRows(CharSource& source, const HeaderInfo& header, RowTable& row, RowNotes& notes, Sink& sink) {
    for (char current = source.next(); !source.atEnd() && !sink.stopped(); current = source.next()) {
        if (isPlain(static_cast<unsigned char>(current))) {
            PlainRows rows(source);
            if (sink.takePlainRows(rows)) {
                continue;  // the row they stopped at starts with the next character
            }
        }
        if (Refusal refusal = readRow(source, current, header, row, notes)) {
            return refusal;
        }
        sink.takeRow(row);
    }
    return Refusal{};
}

}  // namespace morvale

#endif
