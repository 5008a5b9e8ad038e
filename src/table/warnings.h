// Warnings: tables that the rules read through, but that are almost surely
// not what their author meant. They are converted all the same; the warning
// says what was done and what was probably meant.
#ifndef MORVALE_TABLE_WARNINGS_H
#define MORVALE_TABLE_WARNINGS_H

#include <optional>
#include <string>

#include "table/char_source.h"
#include "table/header_reader.h"

namespace morvale {

struct Warning {
    enum class Reason {
        EmptyTable,           // nothing but blanks, if anything
        LoneCarriageReturns,  // lone CRs and no line end: one long header line
        NoSeparatorLine,      // a one-line header with rows right after it
        NotASeparatorLine,    // a three-line header, then a row where the separator line belongs
    };
    Reason reason;
    long line;  // where it shows
};

// What a warning says: what the tool did, and what was probably meant.
const char* describe(Warning::Reason reason);

// Decides, once the whole table has been read by the rules, whether it is
// almost surely not what its author meant, from what the readers saw: the
// source's line ends, the header and the separator line.
std::optional<Warning> warningFor(const CharSource& source, const HeaderInfo& header, const SeparatorLine& separator);

// What the warning on a table that grew by `bytes` while it was read says:
// it was converted as it was when opened (a program still writing it).
std::string describeGrowth(long long bytes);

}  // namespace morvale

#endif
