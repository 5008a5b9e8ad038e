// The row reader: data rows cut into their abscissa and values, the common
// ones straight from the input's buffer, any other one a character at a time.
#ifndef MORVALE_TABLE_ROW_READER_H
#define MORVALE_TABLE_ROW_READER_H

#include <cstddef>
#include <string_view>

#include "table/char_source.h"
#include "table/dialect.h"
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

// How the common rows of a table are cut. The first format's rows: plain
// tokens separated by runs of blanks, the first one at the row's start.
struct BlankCut {
    static constexpr unsigned char kEndByte = 0;             // ends tokens besides what is not plain
    static bool startsToken(unsigned char c) { return isPlain(c); }
    static bool leads(unsigned char) { return false; }  // skipped at a row's start
    static const unsigned char* pastSeparator(const unsigned char* at) {
        while (*at == static_cast<unsigned char>(kBlank)) {
            ++at;
        }
        return at;
    }
};

// Rows read as meant: runs of blanks and TABs separate, and lead rows.
struct SpacedCut {
    static constexpr unsigned char kEndByte = 0;
    static constexpr bool kExtraValuesAreDecimalCommas = false;
    static constexpr bool kDecimalComma = false;
    static bool startsToken(unsigned char c) { return isPlain(c); }
    static bool leads(unsigned char c) { return c == static_cast<unsigned char>(kBlank) || c == '\t'; }
    static const unsigned char* pastSeparator(const unsigned char* at) {
        while (leads(*at)) {
            ++at;
        }
        return at;
    }
};

// Rows read as meant, their fields separated by one `Separator` each, blanks
// after it skipped. A field that is empty, quoted or followed by a blank is
// left to the token step, as is every value beyond the vectors where commas
// separate, which may be a number's decimal comma. Where semicolons
// separate, a comma in a number is its decimal point.
template <char Separator>
struct SeparatedCut {
    static constexpr unsigned char kEndByte = Separator == '\t' ? 0 : static_cast<unsigned char>(Separator);
    static constexpr bool kExtraValuesAreDecimalCommas = Separator == ',';
    static constexpr bool kDecimalComma = Separator == ';';
    static bool startsToken(unsigned char c) {
        return isPlain(c) && c != static_cast<unsigned char>(Separator) && c != '"';
    }
    static bool leads(unsigned char c) { return c == static_cast<unsigned char>(kBlank); }
    static const unsigned char* pastSeparator(const unsigned char* at) {
        if (*at == static_cast<unsigned char>(Separator)) {
            ++at;
            while (leads(*at)) {
                ++at;
            }
        }
        return at;
    }
};

// The common rows, a token at a time, straight from the bytes the source has
// read ahead: plain tokens separated as `Cut` says, then a line end. They
// are cut exactly as the token step would cut them, without copying a byte,
// and one running mask of token ends serves them all. A row that is not such
// a row, or not all read yet, is never taken: it is left to the token step.
//
//   while (rows.startRow()) {
//       while (rows.nextToken(token)) { ... }
//       if (!rows.takeRow()) { break; }  // what was made of the row is void
//   }
//
// Tokens refer to the source's buffer: they are valid until it reads on.
template <typename Cut>
class BasicPlainRows {
public:
    using Rule = Cut;

    // From the row whose first character the source has just delivered.
    explicit BasicPlainRows(CharSource& source)
        : ahead_(source.lookahead()),
          start_(ahead_.begin()),
          ends_(start_, ahead_.end()),
          tokenEnd_(ends_.next()) {}

    // Starts the next row; false when it starts, after what may lead it,
    // with anything but a token, the end of what was read among others.
    bool startRow() {
        if (Cut::leads(*start_)) {
            while (Cut::leads(*start_)) {
                ++start_;
            }
            while (tokenEnd_ < start_) {
                tokenEnd_ = ends_.next();
            }
        }
        return Cut::startsToken(*start_);
    }

    // The line of the row being cut, or of the next one once it was taken.
    long line() const { return ahead_.line(); }

    // The row's next token; false once the row has no more.
    bool nextToken(std::string_view& token) {
        const unsigned char* const start = start_;
        if (!Cut::startsToken(*start)) {
            return false;
        }
        const unsigned char* const end = tokenEnd_;
        token = std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(end - start));
        const unsigned char* const after = Cut::pastSeparator(end);
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
    BasicTokenEnds<Cut::kEndByte> ends_;
    // The first token end not yet passed: where the token at `start_` ends,
    // when one starts there; otherwise one in the line end at the most, which
    // takeRow() steps over.
    const unsigned char* tokenEnd_;
};

using PlainRows = BasicPlainRows<BlankCut>;

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

// Cuts one row of a table read as meant into `row` by its dialect, as
// readRow() cuts one of the first format's: the abscissa and one value per
// vector, empty slots for the values it lacks, values beyond them dropped
// (noted) and a value too long for a slot refused. A comment line, and one of
// blanks and TABs only, is read and `given` false; any other row is given. Where
// commas separate, a value beyond the vectors refuses the table: it may
// be the decimal comma of a number. Reads from `in`, the input or a line held
// in memory, on line `line`.
template <typename Chars>
Refusal readRowAsMeant(Chars& in, char& current, Separator separator, const HeaderInfo& header, RowTable& row,
                       RowNotes& notes, long line, bool& given) {
    const int kept = header.vectorCount() + 1;
    LineCut cut;
    if (!cutLine(in, current, separator, row, kept, hasDecimalComma(separator), cut)) {
        return Refusal{Refusal::Reason::ValueTooLong, line};
    }
    row.makeEmpty(cut.fields < kept ? cut.fields : kept, kept);
    given = !cut.comment && !cut.empty;
    if (cut.beyond && separator == Separator::Comma) {
        return Refusal{Refusal::Reason::CommaInNumber, line};
    }
    if (cut.beyond) {
        notes.moreValues.note(line);
    }
    return Refusal{};
}

// Reads every row of a table read as meant, after its header, as readRows()
// reads the first format's: runs of common rows offered to the sink straight
// from the input's buffer, cut as `Cut` says, every other row cut by
// readRowAsMeant() and handed to `sink.takeRow(row)`. Blanks (and TABs but
// where TABs separate) that lead a row are skipped first.
template <typename Cut, typename Sink>
Refusal readRowsAsMeant(CharSource& source, Separator separator, const HeaderInfo& header, RowTable& row,
                        RowNotes& notes, Sink& sink) {
    for (char current = source.next(); !source.atEnd() && !sink.stopped(); current = source.next()) {
        while (Cut::leads(static_cast<unsigned char>(current))) {
            current = source.next();
        }
        if (!source.atEnd() && Cut::startsToken(static_cast<unsigned char>(current))) {
            BasicPlainRows<Cut> rows(source);
            if (sink.takePlainRows(rows)) {
                continue;  // the row they stopped at starts with the next character
            }
        }
        bool given = false;
        const long line = lineOf(current, source);
        if (Refusal refusal = readRowAsMeant(source, current, separator, header, row, notes, line, given)) {
            return refusal;
        }
        if (given) {
            sink.takeRow(row);
        }
    }
    return Refusal{};
}

}  // namespace morvale

#endif
