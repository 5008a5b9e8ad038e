// The row reader's token step for any row.
#include "table/row_reader.h"

namespace morvale {

static_assert(kLastNonPlain == static_cast<unsigned char>(kBlank), "a run of plain characters ends at every blank");
static_assert(TokenEnds::kReadPast <= CharSource::kSlack, "token ends are found inside the input's buffer");
static_assert(!isPlain(CharSource::kSentinel) && CharSource::kSentinel != static_cast<unsigned char>(kBlank) &&
                  CharSource::kSentinel != '\n' && CharSource::kSentinel != '\r',
              "a scan of plain rows stops at the end of what was read");

namespace {

// Notes a row that is not one value per vector, from its first character and
// the number of tokens cut from it, counted up to one more than were kept.
// What is left of the separator line starts where its run of "-", "=" and
// blanks ended: that it is empty or starts with a blank is not its author's
// doing.
void noteRow(RowNotes& notes, long line, bool startsWithBlank, int tokens, int kept) {
    const bool ownStart = line != notes.separatorRemainder;
    if (tokens == 0 || (startsWithBlank && tokens == 1)) {
        if (ownStart) {
            notes.empty.note(line);
        }
    } else if (startsWithBlank) {
        if (ownStart) {
            notes.startsWithBlank.note(line);  // its values are one vector on: no count of them says more
        }
    } else if (tokens < kept) {
        notes.fewerValues.note(line);
    } else if (tokens > kept) {
        notes.moreValues.note(line);
    }
}

}  // namespace

Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row, RowNotes& notes) {
    const int kept = header.vectorCount() + 1;  // the abscissa and one value per vector
    int slot = 0;
    int tokens = 0;
    // A local copy: the caller's `current` could alias any byte the row table
    // stores, which would make every character a store and a reload.
    char c = current;
    const long line = lineOf(c, source);
    const bool startsWithBlank = isBlank(c);
    while (!isLineEnd(c) && !source.atEnd()) {
        if (!readToken(source, c, row, slot, slot < kept, LineKind::Row)) {
            current = c;
            return Refusal{Refusal::Reason::ValueTooLong, source.line()};
        }
        tokens += tokens <= kept ? 1 : 0;
        // Every run of blanks opens the next slot, even at the row's end.
        skipBlanks(c, source);
        slot += slot < kept ? 1 : 0;
    }
    current = c;
    row.makeEmpty(slot, kept);
    noteRow(notes, line, startsWithBlank, tokens, kept);
    return Refusal{};
}

}  // namespace morvale
