// The row reader: one data row cut into its abscissa and values.
#ifndef MORVALE_TABLE_ROW_READER_H
#define MORVALE_TABLE_ROW_READER_H

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/token_table.h"

namespace morvale {

// Slot 0 holds the row's abscissa, slot k (1 to V) the value of vector k - 1.
// Its tokens may refer to the source's buffer: they are written out before
// the source reads on.
using RowTable = TokenTable;

// Cuts one row into `row`. On entry `current` is the row's first character and
// the input has not ended; on return it is the character that ended the row (a
// line end or the end marker). The row's first character always starts the
// abscissa, a blank included, and "=" and "-" are ordinary characters here.
// Slots the row does not supply, up to V, are emptied; tokens after slot V are
// read and dropped. A value that may be written out and is too long for a
// slot refuses the table.
Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row);

}  // namespace morvale

#endif
