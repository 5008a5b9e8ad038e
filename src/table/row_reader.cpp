// The row reader: the token step for any row, and one pass over the buffer
// for the common one.
#include "table/row_reader.h"

namespace morvale {

namespace {

static_assert(kRunStop == static_cast<unsigned char>(kBlank), "a run of plain characters stops at every blank");

// The line end that starts at `at`, "\n" or "\r\n" with both bytes before
// `end`: the LF that ends it, or nullptr.
const unsigned char* lineEndAt(const unsigned char* at, const unsigned char* end) {
    if (at < end && *at == '\n') {
        return at;
    }
    if (end - at >= 2 && at[0] == '\r' && at[1] == '\n') {
        return at + 1;
    }
    return nullptr;
}

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
    const unsigned char* at = source.lastPlain();
    const unsigned char* const end = source.aheadEnd();
    for (int slot = 0;; slot += slot < kept ? 1 : 0) {
        const unsigned char* const tokenEnd = skipRun(at, end);
        if (slot < kept && !row.refer(slot, reinterpret_cast<const char*>(at), static_cast<std::size_t>(tokenEnd - at))) {
            return false;
        }
        at = tokenEnd;
        // Mostly a single blank, then the next token.
        if (end - at >= 2 && isBlank(static_cast<char>(at[0])) && isPlain(at[1])) {
            ++at;
            continue;
        }
        while (at < end && isBlank(static_cast<char>(*at))) {
            ++at;
        }
        if (at == end) {
            return false;
        }
        if (at != tokenEnd && isPlain(*at)) {
            continue;
        }
        const unsigned char* const lineEnd = lineEndAt(at, end);
        if (lineEnd == nullptr) {
            return false;  // a character the token step must see
        }
        source.takeLine(lineEnd);
        for (++slot; slot < kept; ++slot) {
            row.makeEmpty(slot);
        }
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
    for (; slot < kept; ++slot) {
        row.makeEmpty(slot);
    }
    return Refusal{};
}

}  // namespace morvale
