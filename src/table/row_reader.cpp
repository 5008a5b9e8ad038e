// The row reader's token step for any row.
#include "table/row_reader.h"

namespace morvale {

static_assert(kLastNonPlain == static_cast<unsigned char>(kBlank), "a run of plain characters ends at every blank");
static_assert(TokenEnds::kReadPast <= CharSource::kSlack, "token ends are found inside the input's buffer");
static_assert(!isPlain(CharSource::kSentinel) && CharSource::kSentinel != static_cast<unsigned char>(kBlank) &&
                  CharSource::kSentinel != '\n' && CharSource::kSentinel != '\r',
              "a scan of plain rows stops at the end of what was read");

Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row) {
    const int kept = header.vectorCount() + 1;  // the abscissa and one value per vector
    int slot = 0;
    // A local copy: the caller's `current` could alias any byte the row table
    // stores, which would make every character a store and a reload.
    char c = current;
    while (!isLineEnd(c) && !source.atEnd()) {
        if (!readToken(source, c, row, slot, slot < kept, LineKind::Row)) {
            current = c;
            return Refusal{Refusal::Reason::ValueTooLong, source.line()};
        }
        // Every run of blanks opens the next slot, even at the row's end.
        skipBlanks(c, source);
        slot += slot < kept ? 1 : 0;
    }
    current = c;
    row.makeEmpty(slot, kept);
    return Refusal{};
}

}  // namespace morvale
