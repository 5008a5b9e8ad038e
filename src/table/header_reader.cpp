// The header reader: header lines cut into tokens, the layout decision and
// the separator line.
#include "table/header_reader.h"

namespace morvale {

namespace {

constexpr const char* kNameTooLong = "name longer than 255 characters";
constexpr const char* kTooManyColumns = "more than 1023 data columns";

// Header line 1 always starts the file.
constexpr long kFirstHeaderLine = 1;

bool endsHeaderLine(char c, const CharSource& source) {
    return isLineEnd(c) || isSeparatorChar(c) || source.atEnd();
}

// Reads one header line into `table`, storing only the tokens at slots below
// `keptSlots`; later tokens are read and dropped. `lastSlot` receives the
// index of the line's last token, counted no further than `keptSlots`.
// On entry `current` is the line's first character; on return it is the
// character that ended the line (a line end, "=", "-" or the end marker),
// which is not stored.
Refusal readHeaderLine(CharSource& source, char& current, TokenTable& table, int keptSlots, int& lastSlot) {
    skipBlanks(current, source);
    int slot = 0;
    int position = 0;
    while (!endsHeaderLine(current, source)) {
        if (!isBlank(current)) {
            if (slot < keptSlots && !table.put(slot, position++, current)) {
                return Refusal{kNameTooLong, source.line()};
            }
            current = source.next();
            continue;
        }
        skipBlanks(current, source);
        if (isLineEnd(current)) {
            break;  // trailing blanks open no token
        }
        // A new token opens even when the line ends right here, at "=", "-"
        // or the end of the input: it then stays empty.
        if (slot < keptSlots) {
            table.terminate(slot, position);
        }
        slot = slot < keptSlots ? slot + 1 : keptSlots;
        position = 0;
    }
    if (slot < keptSlots) {
        table.terminate(slot, position);
    }
    lastSlot = slot;
    return Refusal{};
}

// Empties the slots that the line did not fill but that may be written out.
void emptySlots(TokenTable& table, int from, int to) {
    for (int slot = from; slot < to; ++slot) {
        table.makeEmpty(slot);
    }
}

// Reads header lines 2 and 3 of the three-line layout; `current` is the first
// character of line 2 on entry.
Refusal readGroupLines(CharSource& source, char& current, HeaderInfo& header) {
    const int groups = header.columnCount;
    int lastSlot = 0;
    if (Refusal refusal = readHeaderLine(source, current, header.subNameTable, groups, lastSlot)) {
        return refusal;
    }
    emptySlots(header.subNameTable, lastSlot + 1, groups);
    current = source.next();
    if (Refusal refusal = readHeaderLine(source, current, header.pairNameTable, 2 * groups, lastSlot)) {
        return refusal;
    }
    emptySlots(header.pairNameTable, lastSlot + 1, 2 * groups);
    return Refusal{};
}

}  // namespace

Refusal readHeader(CharSource& source, char& current, HeaderInfo& header) {
    current = source.next();
    int lastSlot = 0;
    if (Refusal refusal = readHeaderLine(source, current, header.nameTable, TokenTable::kSlots, lastSlot)) {
        return refusal;
    }
    header.columnCount = lastSlot;
    current = source.next();
    if (isSeparatorChar(current)) {
        header.layout = HeaderLayout::OneLine;
    } else {
        header.layout = HeaderLayout::ThreeLine;
    }
    if (header.vectorCount() > kMaxVectors) {
        return Refusal{kTooManyColumns, kFirstHeaderLine};
    }
    if (header.layout == HeaderLayout::OneLine) {
        return Refusal{};
    }
    return readGroupLines(source, current, header);
}

void skipSeparator(CharSource& source, char& current) {
    current = source.next();
    while (!source.atEnd() && (isSeparatorChar(current) || isBlank(current))) {
        current = source.next();
    }
}

}  // namespace morvale
