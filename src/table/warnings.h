// Warnings: tables that the rules read through, but that are almost surely
// not what their author meant. They are converted all the same; each warning
// says what was done and what was probably meant.
#ifndef MORVALE_TABLE_WARNINGS_H
#define MORVALE_TABLE_WARNINGS_H

#include <string>

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/table_notes.h"

namespace morvale {

struct Warning {
    // In the order a table's warnings are given when several fall on one line.
    enum class Reason {
        // Each of these explains everything else the table shows: it comes alone.
        Utf16,                // a UTF-16 byte-order mark, or zero bytes between the header's characters
        VectorFile,           // the first line is a vector file's first declaration
        LoneCarriageReturns,  // lone CRs and no line end: one long header line
        EmptyTable,           // nothing but blanks, if anything
        // The header, read otherwise than meant.
        CommaSeparated,       // names ending in "," or ";", or one name holding them
        CommentMark,          // "#", "%" or "//" before the names, read as the abscissa heading
        NumericNames,         // header line 1 holds only numbers: a row
        SeparatorCharInName,  // a "-" or "=" ended a header line before its line end
        NoDataColumns,        // header line 1 holds an abscissa heading at most
        EmptyHeaderLine,      // a three-line header with no names on line 2 or 3
        RulerLine,            // line 2 is a line of one other character, such as "_"
        NoSeparatorLine,      // a one-line header with rows right after it
        NotASeparatorLine,    // a three-line header, then a row where the separator line belongs
        SeparatorLineRunsOn,  // more than "-", "=" and blanks on the separator line
        // The header, read as written, but hardly meant so.
        GroupNamesMismatch,   // lines 2 and 3 not one sub-name and two pair names per group
        RepeatedName,         // two vectors declared with one name
        // Bytes no text table means.
        Tabs,
        ZeroBytes,
        StrayCarriageReturns,  // CRs with no LF after them, among line ends
        // Rows.
        RowStartsWithBlank,
        EmptyRow,
        FewerValues,
        MoreValues,
    };
    static constexpr int kReasons = static_cast<int>(Reason::MoreValues) + 1;

    Reason reason;
    long line;           // the first line where it shows
    long moreLines = 0;  // how many more lines it shows on
};

// What a warning says: what the tool did, on how many more lines, and what
// was probably meant; with `suggestFormat2` (a run that writes the first
// format), that version 2 reads the table as meant, where it does.
std::string describe(const Warning& warning, bool suggestFormat2);

// A table's warnings, each reason at most once, in the order of their lines.
class Warnings {
public:
    // Ignored when the reason was already added.
    void add(Warning::Reason reason, long line, long moreLines = 0);
    // Puts them in the order of their lines; on one line, in the order of
    // their reasons.
    void sort();

    const Warning* begin() const { return items_; }
    const Warning* end() const { return items_ + count_; }
    bool empty() const { return count_ == 0; }
    int size() const { return count_; }
    bool has(Warning::Reason reason) const;

private:
    Warning items_[Warning::kReasons] = {};
    int count_ = 0;
};

// Decides, once the whole table has been read by the rules, which warnings it
// gets, from what the readers saw: the source's line ends and control bytes,
// the header, the separator line and the rows.
Warnings warningsFor(const CharSource& source, const HeaderInfo& header, const SeparatorLine& separator,
                     const RowNotes& rows);

// The warnings on a table read as its program meant it, whose reading has
// already refused what it would read otherwise than meant: what is left are
// the bytes no text table means, names given twice and values beyond the
// names.
Warnings warningsForMeant(const CharSource& source, const HeaderInfo& header, const RowNotes& rows);

// What the warning on a table that grew by `bytes` while it was read says:
// it was converted as it was when opened (a program still writing it), and
// without its last line, if that had no line end yet.
std::string describeGrowth(long long bytes, bool lastLineLeftOut);

}  // namespace morvale

#endif
