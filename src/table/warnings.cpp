// Warnings: what the readers saw, judged once the table is read.
#include "table/warnings.h"

namespace morvale {

namespace {

// The separator line of a table with a three-line header, when every header
// line ends at a line end.
constexpr long kThreeLineSeparatorLine = 4;

// A three-line header that is almost surely a one-line header without its
// separator line, or a three-line one without it.
std::optional<Warning> threeLineWarning(const HeaderInfo& header, const SeparatorLine& separator) {
    if (separator.found) {
        return std::nullopt;
    }
    // Header line 2 with more names than groups is a row, and so is line 3.
    if (header.moreSubNamesThanGroups) {
        return Warning{Warning::Reason::NoSeparatorLine, 2};
    }
    if (separator.cutRow && separator.line == kThreeLineSeparatorLine) {
        return Warning{Warning::Reason::NotASeparatorLine, kThreeLineSeparatorLine};
    }
    return std::nullopt;
}

}  // namespace

const char* describe(Warning::Reason reason) {
    switch (reason) {
    case Warning::Reason::EmptyTable:
        return "the table is empty; its vector file declares no vectors";
    case Warning::Reason::LoneCarriageReturns:
        return "no line ends, only lone CRs; the whole file was read as a single line "
               "(lone CR line ends? convert them to LF or CR LF)";
    case Warning::Reason::NoSeparatorLine:
        return "no separator line of '-' or '=' after header line 1; the next two lines were read as "
               "header lines 2 and 3, and the first character after them as the separator line";
    case Warning::Reason::NotASeparatorLine:
        return "line 4 is not a separator line of '-' or '='; its first character was dropped as one "
               "and the rest read as a row";
    }
    return "";
}

std::string describeGrowth(long long bytes) {
    return "the file grew by " + std::to_string(bytes) +
           " bytes while it was read; only what it held when it was opened was converted "
           "(still being written? convert it again once it is complete)";
}

std::optional<Warning> warningFor(const CharSource& source, const HeaderInfo& header, const SeparatorLine& separator) {
    if (source.line() == 1 && source.loneCarriageReturns() > 0) {
        return Warning{Warning::Reason::LoneCarriageReturns, 1};
    }
    if (source.line() == 1 && header.columnCount == 0 && header.nameTable.token(0).empty()) {
        return Warning{Warning::Reason::EmptyTable, 1};
    }
    switch (header.layout) {
    case HeaderLayout::OneLine:
        return std::nullopt;
    case HeaderLayout::ThreeLine:
        return threeLineWarning(header, separator);
    }
    return std::nullopt;
}

}  // namespace morvale
