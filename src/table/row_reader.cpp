// The row reader: the token step for any row, and one pass over the buffer
// for the common one.
#include "table/row_reader.h"

namespace morvale {

namespace {

static_assert(kRunStop == static_cast<unsigned char>(kBlank), "a run of plain characters stops at every blank");

static_assert(Stops::kReadPast <= CharSource::kSlack, "the stops are found inside the input's buffer");

// The common row in one pass over the bytes already read: plain tokens
// separated by runs of blanks, then a line end. Its tokens are cut exactly as
// the token step would cut them, but referred to where they stand instead of
// copied. Anything else ahead (a control character, a CR of its own, the
// end-of-file byte, a token too long for its slot, the end of what was read)
// leaves the row untaken: false, and the source as it was.
bool takePlainRow(CharSource& source, char current, RowTable& row, int kept) {
    if (!isPlain(static_cast<unsigned char>(current))) {
        return false;
    }
    const unsigned char* const end = source.aheadEnd();
    const unsigned char* start = source.lastPlain();
    Stops stops(start, end);
    const unsigned char* stop = stops.next();  // where the token that starts at `start` ends
    for (int slot = 0;; slot += slot < kept ? 1 : 0) {
        if (stop == end) {
            return false;
        }
        if (slot < kept && !row.refer(slot, reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start))) {
            return false;
        }
        const unsigned char* following = stops.next();
        const unsigned char* lineEnd = stop;  // unless blanks and another token follow
        if (isBlank(static_cast<char>(*stop))) {
            const unsigned char* after = stop + 1;
            while (following == after && after < end && isBlank(static_cast<char>(*after))) {
                ++after;
                following = stops.next();
            }
            if (following != after) {  // `after` is plain: the next token
                start = after;
                stop = following;
                continue;
            }
            lineEnd = after;
        }
        if (lineEnd == end) {
            return false;
        }
        if (*lineEnd == '\r' && end - lineEnd >= 2 && lineEnd[1] == '\n') {
            ++lineEnd;
        }
        if (*lineEnd != '\n') {
            return false;  // a character the token step must see
        }
        source.takeLine(lineEnd);
        row.makeEmpty(slot + 1, kept);
        return true;
    }
}

}  // namespace

Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row) {
    const int kept = header.vectorCount() + 1;  // the abscissa and one value per vector
    if (takePlainRow(source, current, row, kept)) {
        current = '\n';
        return Refusal{};
    }
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
