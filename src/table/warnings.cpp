// Warnings: what the readers saw, judged once the table is read.
#include "table/warnings.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "table/dialect.h"

namespace morvale {

namespace {

using Reason = Warning::Reason;

// The separator line of a table with a three-line header, when every header
// line ends at a line end.
constexpr long kThreeLineSeparatorLine = 4;

// What each warning says: what the tool did; what was probably meant, and the
// fix, which names no command, since not every system has the same ones; and
// for the tables that version 2's reading takes as meant, that it does.
struct WarningText {
    Reason reason;
    const char* done;
    const char* meant;
    const char* readAsMeant = nullptr;
};

constexpr const char* kReadByFormat2 = "--format 2 reads such tables";

constexpr WarningText kTexts[] = {
    {Reason::Utf16,
     "the table is UTF-16 text, read a byte at a time: the zero bytes between its characters cut every name "
     "and value short",
     "save it as UTF-8 text"},
    {Reason::VectorFile, "this is a vector file, not a table: its lines were read as a table's",
     "give only tables (morvale *.txt, not morvale *)"},
    {Reason::LoneCarriageReturns, "no line ends, only lone CRs",
     "the whole file was read as a single line (lone CR line ends? convert them to LF or CR LF)"},
    {Reason::EmptyTable, "the table is empty", "its vector file declares no vectors"},
    {Reason::CommaSeparated,
     "the names of line 1 are separated by commas or semicolons, which are part of a name here",
     "separate names and values by blanks (from a spreadsheet, save the table as text separated by spaces)",
     kReadByFormat2},
    {Reason::CommentMark,
     "the comment mark before the names was read as the abscissa heading, and every name moved one column to "
     "the left",
     "delete the mark, so that the line starts with the abscissa heading",
     "--format 2 reads such tables, with '#' as the mark"},
    {Reason::NumericNames, "header line 1 holds only numbers: a row was read as the names",
     "start the table with a line of names and a separator line of '-'"},
    {Reason::SeparatorCharInName,
     "a '-' or '=' ended a header line, and the rest of the line was read as the next header line",
     "names cannot hold '-' or '=' (write T_in, not T-in)"},
    {Reason::NoDataColumns, "header line 1 names no data column, so the vector file declares no vectors",
     "put the abscissa heading and one name per data column on the first line"},
    {Reason::EmptyHeaderLine, "a line with no names was read as a line of a three-line header",
     "put the separator line right after the header, with no empty line before it and no blank at its start"},
    {Reason::RulerLine,
     "line 2 looks like a separator line but is not made of '-' or '=', so it was read as header line 2 of a "
     "three-line header",
     "make the separator line of '-' or '='"},
    {Reason::NoSeparatorLine, "no separator line of '-' or '=' after header line 1",
     "the next two lines were read as header lines 2 and 3, and the first character after them as the "
     "separator line (add a separator line after the header)",
     kReadByFormat2},
    {Reason::NotASeparatorLine, "line 4 is not a separator line of '-' or '='",
     "its first character was dropped as one and the rest read as a row (add a separator line after header "
     "line 3)"},
    {Reason::SeparatorLineRunsOn,
     "the separator line holds more than '-', '=' and blanks: the first other character was dropped and the "
     "rest of the line read as a row",
     "a separator line holds nothing else (a row with a negative first value? add a separator line before it)"},
    {Reason::GroupNamesMismatch,
     "header lines 2 and 3 do not hold one sub-name and two pair names per group: missing names were left "
     "empty, extra ones dropped",
     "give each group of line 1 one sub-name on line 2 and two pair names on line 3"},
    {Reason::RepeatedName, "two vectors were declared with the same name",
     "give every data column a name of its own"},
    {Reason::Tabs, "a TAB is part of a name or value, not a separator: the values around it were read as one",
     "separate values by blanks, not TABs (from a spreadsheet, save the table as text separated by spaces)",
     kReadByFormat2},
    {Reason::ZeroBytes,
     "a zero byte ends the name or value it stands in: what follows it, up to the next blank, was left out",
     "is the file a text table? save it as text"},
    {Reason::StrayCarriageReturns, "a CR with no LF after it was copied into a value",
     "end every line with CR LF or LF, not with CR CR LF or a lone CR"},
    {Reason::RowStartsWithBlank,
     "a row that starts with a blank got a blank as its abscissa, and each value went to the next vector",
     "start every row with its abscissa, not with blanks (right-aligned columns?)", kReadByFormat2},
    {Reason::EmptyRow, "an empty line (or one of blanks only) was read as a row of empty values",
     "delete empty lines among and after the rows"},
    {Reason::FewerValues,
     "a row holds fewer values than the header has data columns: the missing ones were written as empty "
     "samples",
     "give every row one value per data column"},
    {Reason::MoreValues, "a row holds more values than the header has data columns: the extra ones were dropped",
     "name every data column on the header, or delete the extra values"},
};

constexpr bool textsInReasonOrder() {
    int index = 0;
    for (const WarningText& text : kTexts) {
        if (static_cast<int>(text.reason) != index++) {
            return false;
        }
    }
    return index == Warning::kReasons;
}
static_assert(textsInReasonOrder(), "one text per reason, in the order of the reasons");

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetterOrDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A decimal number as tables write them: 0, -1.5, .5, 2e-3, -1.5E+02.
bool isNumber(std::string_view text) { return isDecimalNumber(text, false); }

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The names of header line 1, the abscissa heading first.
std::vector<std::string_view> firstLineNames(const HeaderInfo& header) {
    std::vector<std::string_view> names;
    for (int slot = 0; slot <= header.columnCount; ++slot) {
        names.push_back(header.nameTable.token(slot));
    }
    return names;
}

// Text in UTF-16 read a byte at a time: it starts with its byte-order mark,
// or without one, every other byte of line 1 is zero, so that its first name
// ends after its first character or before it.
bool isUtf16(const ControlNotes& controls, const HeaderInfo& header) {
    const std::string_view first = header.nameTable.token(0);
    return startsWith(first, "\xFF\xFE") || startsWith(first, "\xFE\xFF") ||
           (controls.zeroBytes.first == 1 && first.size() <= 1);
}

// A vector file of the first format starts with its first declaration; one
// of version 2 with its version line alone, and no separator line after it.
bool isVectorFile(const HeaderInfo& header, const SeparatorLine& separator) {
    return startsWith(header.nameTable.token(0), "vector\t0\t\"") ||
           (header.columnCount == 1 && header.nameTable.token(0) == "version" && header.nameTable.token(1) == "2" &&
            !separator.found);
}

// Names separated by commas or semicolons: each but the last ends in one, or
// a single name holds them all.
bool isCommaSeparated(const HeaderInfo& header) {
    for (std::string_view name : firstLineNames(header)) {
        const bool ends = !name.empty() && (name.back() == ',' || name.back() == ';');
        if (ends || (header.columnCount == 0 && name.find_first_of(",;") != std::string_view::npos)) {
            return true;
        }
    }
    return false;
}

bool isCommentMark(const HeaderInfo& header) {
    const std::string_view first = header.nameTable.token(0);
    return header.columnCount > 0 && (first == "#" || first == "%" || first == "//");
}

bool allNumbers(const HeaderInfo& header) {
    const std::vector<std::string_view> names = firstLineNames(header);
    return std::all_of(names.begin(), names.end(), isNumber);
}

// A line drawn with one character other than a letter or digit, "____".
bool isRuler(std::string_view text) {
    const auto drawn = [&text](char c) { return c == text[0]; };
    return text.size() >= 2 && !isLetterOrDigit(text[0]) && std::all_of(text.begin(), text.end(), drawn);
}

// The names the vector file declares, in any order.
std::vector<std::string> declaredNames(const HeaderInfo& header) {
    std::vector<std::string> names;
    for (int group = 0; group < header.columnCount; ++group) {
        const std::string name(header.nameTable.token(group + 1));
        switch (header.layout) {
        case HeaderLayout::OneLine:
            names.push_back(name);
            break;
        case HeaderLayout::ThreeLine:
            for (int pair = 0; pair < 2; ++pair) {
                names.push_back(name + "." + std::string(header.subNameTable.token(group)) + "." +
                                std::string(header.pairNameTable.token(2 * group + pair)));
            }
            break;
        }
    }
    return names;
}

bool hasRepeatedName(const HeaderInfo& header) {
    std::vector<std::string> names = declaredNames(header);
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
}

// The three-line header read otherwise than meant, from header line 2 on.
void judgeThreeLines(const HeaderInfo& header, const SeparatorLine& separator, Warnings& warnings) {
    const HeaderLineNotes& second = header.lines[1];
    const HeaderLineNotes& third = header.lines[2];
    const long groups = header.columnCount;
    const std::string_view firstSubName = groups > 0 ? header.subNameTable.token(0) : std::string_view();
    // A row where header line 2 belongs: more values than groups, or a number
    // and then a minus sign or an exponent's sign.
    const bool rowOnSecondLine = second.names > groups || (second.cut && isNumber(firstSubName));
    if (second.names == 0) {
        warnings.add(Reason::EmptyHeaderLine, second.line);
    } else if (third.names == 0 && third.cut) {
        warnings.add(Reason::EmptyHeaderLine, third.line);
    } else if (second.names == 1 && !second.cut && isRuler(firstSubName)) {
        warnings.add(Reason::RulerLine, second.line);
    } else if (!separator.found && rowOnSecondLine) {
        warnings.add(Reason::NoSeparatorLine, second.line);
    } else if (!separator.found && separator.cutRow && separator.line == kThreeLineSeparatorLine) {
        warnings.add(Reason::NotASeparatorLine, separator.line);
    } else if (second.cut || third.cut) {
        warnings.add(Reason::SeparatorCharInName, second.cut ? second.line : third.line);
    } else if (separator.cutRow && !separator.cutAtCarriageReturn) {
        warnings.add(Reason::SeparatorLineRunsOn, separator.line);
    }
}

// Adds the warnings on a header read otherwise than meant; true when there
// were any: what follows from the header, such as its count of data columns,
// then says nothing about what was meant.
bool judgeHeader(const CharSource& source, const HeaderInfo& header, const SeparatorLine& separator,
                 Warnings& warnings) {
    const int before = warnings.size();
    const HeaderLineNotes& first = header.lines[0];
    if (isCommaSeparated(header)) {
        warnings.add(Reason::CommaSeparated, first.line);
    } else if (isCommentMark(header)) {
        warnings.add(Reason::CommentMark, first.line);
    } else if (first.names > 0 && allNumbers(header)) {
        warnings.add(Reason::NumericNames, first.line);
    }
    const ControlNotes& controls = source.controls();
    const bool firstLineSpoilt = controls.tabs.first == first.line || controls.zeroBytes.first == first.line;
    if (first.cut) {
        // Every later header line was cut out of what follows.
        warnings.add(Reason::SeparatorCharInName, first.line);
    } else if (first.names == 0) {
        warnings.add(Reason::NoDataColumns, first.line);
    } else {
        switch (header.layout) {
        case HeaderLayout::OneLine:
            if (separator.cutRow && !separator.cutAtCarriageReturn) {  // a stray CR is said as such
                warnings.add(Reason::SeparatorLineRunsOn, separator.line);
            }
            break;
        case HeaderLayout::ThreeLine:
            judgeThreeLines(header, separator, warnings);
            break;
        }
    }
    if (warnings.size() == before && !firstLineSpoilt && header.columnCount == 0) {
        warnings.add(Reason::NoDataColumns, first.line);
    }
    return warnings.size() > before || firstLineSpoilt;
}

// The header read as written, but hardly meant so.
void judgeNames(const HeaderInfo& header, Warnings& warnings) {
    const long groups = header.columnCount;
    switch (header.layout) {
    case HeaderLayout::OneLine:
        break;
    case HeaderLayout::ThreeLine:
        if (header.lines[1].names != groups) {
            warnings.add(Reason::GroupNamesMismatch, header.lines[1].line);
        } else if (header.lines[2].names != 2 * groups) {
            warnings.add(Reason::GroupNamesMismatch, header.lines[2].line);
        }
        break;
    }
    if (hasRepeatedName(header)) {
        warnings.add(Reason::RepeatedName, header.lines[0].line);
    }
}

void addTally(Warnings& warnings, Reason reason, const LineTally& tally) {
    if (tally.lines > 0) {
        warnings.add(reason, tally.first, tally.lines - 1);
    }
}

}  // namespace

std::string describe(const Warning& warning, bool suggestFormat2) {
    const WarningText& text = kTexts[static_cast<int>(warning.reason)];
    std::string said = text.done;
    if (warning.moreLines > 0) {
        said += ", and on " + std::to_string(warning.moreLines) + (warning.moreLines == 1 ? " more line" : " more lines");
    }
    said = said + "; " + text.meant;
    if (suggestFormat2 && text.readAsMeant != nullptr) {
        said = said + "; " + text.readAsMeant;
    }
    return said;
}

std::string describeGrowth(long long bytes, bool lastLineLeftOut) {
    return "the file grew by " + std::to_string(bytes) +
           " bytes while it was read; only what it held when it was opened was converted" +
           (lastLineLeftOut ? ", less its last line, which had no line end yet" : "") +
           " (still being written? convert it again once it is complete)";
}

void Warnings::add(Warning::Reason reason, long line, long moreLines) {
    if (!has(reason)) {
        items_[count_++] = Warning{reason, line, moreLines};
    }
}

bool Warnings::has(Warning::Reason reason) const {
    return std::any_of(begin(), end(), [reason](const Warning& warning) { return warning.reason == reason; });
}

void Warnings::sort() {
    std::sort(items_, items_ + count_, [](const Warning& a, const Warning& b) {
        return a.line != b.line ? a.line < b.line : a.reason < b.reason;
    });
}

Warnings warningsFor(const CharSource& source, const HeaderInfo& header, const SeparatorLine& separator,
                     const RowNotes& rows) {
    Warnings warnings;
    const ControlNotes& controls = source.controls();
    if (isUtf16(controls, header)) {
        warnings.add(Reason::Utf16, 1);
        return warnings;
    }
    if (isVectorFile(header, separator)) {
        warnings.add(Reason::VectorFile, 1);
        return warnings;
    }
    if (source.line() == 1 && controls.loneCarriageReturns.lines > 0) {
        warnings.add(Reason::LoneCarriageReturns, 1);
        return warnings;
    }
    if (source.line() == 1 && header.columnCount == 0 && header.nameTable.token(0).empty()) {
        warnings.add(Reason::EmptyTable, 1);
        return warnings;
    }
    const bool headerMisread = judgeHeader(source, header, separator, warnings);
    if (!headerMisread) {
        judgeNames(header, warnings);
    }
    addTally(warnings, Reason::Tabs, controls.tabs);
    addTally(warnings, Reason::ZeroBytes, controls.zeroBytes);
    addTally(warnings, Reason::StrayCarriageReturns, controls.loneCarriageReturns);
    addTally(warnings, Reason::RowStartsWithBlank, rows.startsWithBlank);
    addTally(warnings, Reason::EmptyRow, rows.empty);
    // Counted against a header read otherwise than meant, or with values run
    // together by TABs, rows are as long as meant for all one can tell.
    if (!headerMisread && controls.tabs.lines == 0 && header.vectorCount() > 0) {
        addTally(warnings, Reason::FewerValues, rows.fewerValues);
        addTally(warnings, Reason::MoreValues, rows.moreValues);
    }
    warnings.sort();
    return warnings;
}

Warnings warningsForMeant(const CharSource& source, const HeaderInfo& header, const RowNotes& rows) {
    Warnings warnings;
    const ControlNotes& controls = source.controls();
    if (isUtf16(controls, header)) {
        warnings.add(Reason::Utf16, 1);
        return warnings;
    }
    if (source.line() == 1 && controls.loneCarriageReturns.lines > 0) {
        warnings.add(Reason::LoneCarriageReturns, 1);
        return warnings;
    }
    judgeNames(header, warnings);
    addTally(warnings, Reason::ZeroBytes, controls.zeroBytes);
    addTally(warnings, Reason::StrayCarriageReturns, controls.loneCarriageReturns);
    addTally(warnings, Reason::MoreValues, rows.moreValues);
    warnings.sort();
    return warnings;
}

}  // namespace morvale
