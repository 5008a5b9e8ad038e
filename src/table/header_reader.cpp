// The header reader: header lines cut into tokens, the layout decision and
// the separator line.
#include "table/header_reader.h"

namespace morvale {

namespace {

// Header line 1 always starts the file.
constexpr long kFirstHeaderLine = 1;

bool endsHeaderLine(char c, const CharSource& source) {
    return isLineEnd(c) || isSeparatorChar(c) || source.atEnd();
}

// A "-" or "=" ended the header line, not a line end or the end of the input.
bool cutBySeparatorChar(char c, const CharSource& source) { return !source.atEnd() && isSeparatorChar(c); }

// Reads one header line into `table`, keeping the tokens at slots below
// `kept`; later ones are read and dropped. `last` receives the index of the
// line's last token (0 for an empty line), counted no further than `kept`;
// `notes` what the line held. On entry `current` is the line's first
// character; on return it is the character that ended the line (a line end,
// "=", "-" or the end marker), which is not stored.
Refusal readHeaderLine(CharSource& source, char& current, TokenTable& table, int kept, int& last,
                       HeaderLineNotes& notes) {
    notes = HeaderLineNotes{lineOf(current, source), 0, false};
    skipBlanks(current, source);
    int slot = 0;
    while (!endsHeaderLine(current, source)) {
        if (!readToken(source, current, table, slot, slot < kept, LineKind::Header)) {
            return Refusal{Refusal::Reason::NameTooLong, source.line()};
        }
        ++notes.names;
        if (!isBlank(current)) {
            last = slot;
            notes.cut = cutBySeparatorChar(current, source);
            return Refusal{};
        }
        skipBlanks(current, source);
        if (isLineEnd(current)) {
            last = slot;  // trailing blanks open no token
            return Refusal{};
        }
        // A new token opens even when the line ends right here, at "=", "-"
        // or the end of the input: it then stays empty.
        slot += slot < kept ? 1 : 0;
    }
    if (slot < kept) {
        table.makeEmpty(slot);
    }
    last = slot;
    notes.cut = cutBySeparatorChar(current, source);
    return Refusal{};
}

// Reads header lines 2 and 3 of the three-line layout; `current` is the first
// character of line 2 on entry.
Refusal readGroupLines(CharSource& source, char& current, HeaderInfo& header) {
    const int groups = header.columnCount;
    int last = 0;
    if (Refusal refusal = readHeaderLine(source, current, header.subNameTable, groups, last, header.lines[1])) {
        return refusal;
    }
    header.subNameTable.makeEmpty(last + 1, groups);
    current = source.next();
    if (Refusal refusal =
            readHeaderLine(source, current, header.pairNameTable, 2 * groups, last, header.lines[2])) {
        return refusal;
    }
    header.pairNameTable.makeEmpty(last + 1, 2 * groups);
    return Refusal{};
}

}  // namespace

Refusal readHeader(CharSource& source, char& current, HeaderInfo& header) {
    current = source.next();
    int last = 0;
    header.lines[1] = header.lines[2] = HeaderLineNotes();
    header.hasUnits = false;
    if (Refusal refusal = readHeaderLine(source, current, header.nameTable, TokenTable::kSlots, last, header.lines[0])) {
        return refusal;
    }
    header.columnCount = last;
    current = source.next();
    header.layout = isSeparatorChar(current) ? HeaderLayout::OneLine : HeaderLayout::ThreeLine;
    if (header.vectorCount() > kMaxVectors) {
        return Refusal{Refusal::Reason::TooManyColumns, kFirstHeaderLine};
    }
    switch (header.layout) {
    case HeaderLayout::OneLine:
        return Refusal{};
    case HeaderLayout::ThreeLine:
        return readGroupLines(source, current, header);
    }
    return Refusal{};
}

SeparatorLine skipSeparator(CharSource& source, char& current) {
    SeparatorLine separator;
    separator.line = source.line();
    current = source.next();
    while (!source.atEnd() && (isSeparatorChar(current) || isBlank(current))) {
        separator.found = separator.found || isSeparatorChar(current);
        current = source.next();
    }
    separator.cutRow = !source.atEnd() && !isLineEnd(current);
    separator.cutAtCarriageReturn = separator.cutRow && current == '\r';
    return separator;
}

}  // namespace morvale
