// The header of a table as the program that wrote it meant it, for the
// version 2 vector file: comment lines skipped, names on a comment line right
// before the rows (a numerical library's saved text), an optional line of
// units, the separator line optional, and the dialect told from the names.
#ifndef MORVALE_TABLE_MEANT_HEADER_H
#define MORVALE_TABLE_MEANT_HEADER_H

#include <string>

#include "table/char_source.h"
#include "table/dialect.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/token_table.h"

namespace morvale {

// What the header of a table read as meant says beyond its HeaderInfo.
struct MeantHeader {
    Separator separator = Separator::Spaced;
    // The rows read as lines after the names, where no separator line came:
    // their texts and lines, in order.
    static constexpr int kMostRows = 3;
    int rows = 0;
    std::string rowText[kMostRows];
    long rowLine[kMostRows] = {};
};

// Reads the header from the start of the input, up to and including the
// separator line when there is one, or the first row when there is none; on
// return the source stands at the start of the next line. The names are
// the first line that is neither empty nor a comment; when that line is a
// row of numbers, or a separator line, the comment line right above it holds
// them. A line under the names with one word per name and no number is their
// units. Two lines of names that a separator line follows make a three-line
// header; without it, every line after the names is a row. `scratch` is
// overwritten. A table with no data column, or with
// numbers for names, is refused, as are names too long or too many.
Refusal readMeantHeader(CharSource& source, HeaderInfo& header, MeantHeader& meant, TokenTable& scratch);

}  // namespace morvale

#endif
