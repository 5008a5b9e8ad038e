// The row reader.
#include "table/row_reader.h"

namespace morvale {

namespace {

constexpr const char* kValueTooLong = "value longer than 255 characters";

}  // namespace

Refusal readRow(CharSource& source, char& current, const HeaderInfo& header, RowTable& row) {
    const int lastSlot = header.vectorCount();
    int slot = 0;
    int position = 0;
    // A local copy: the caller's `current` could alias any byte the row table
    // stores, which would make every character a store and a reload.
    char c = current;
    while (!isLineEnd(c) && !source.atEnd()) {
        if (slot <= lastSlot) {
            if (!row.put(slot, position++, c)) {
                current = c;
                return Refusal{kValueTooLong, source.line()};
            }
            // The rest of the token, as far as it is plain characters.
            const std::size_t room = static_cast<std::size_t>(TokenTable::kMaxTokenLength - position);
            position += static_cast<int>(source.takeRun(row.at(slot, position), room));
            // Then the tokens that follow after a single blank, each taken
            // whole; anything else is left to the character-wise path.
            while (slot < lastSlot && source.skipBlankBeforeRun()) {
                row.terminate(slot, position);
                ++slot;
                position = static_cast<int>(source.takeRun(row.at(slot, 0), TokenTable::kMaxTokenLength));
            }
        } else {
            source.skipRun();
        }
        c = source.next();
        if (isBlank(c)) {
            skipBlanks(c, source);
            if (slot <= lastSlot) {
                row.terminate(slot, position);
                ++slot;  // stops one past V: later tokens are never written
            }
            position = 0;
        }
    }
    current = c;
    if (slot <= lastSlot) {
        row.terminate(slot, position);
    }
    for (int empty = slot + 1; empty <= lastSlot; ++empty) {
        row.makeEmpty(empty);
    }
    return Refusal{};
}

}  // namespace morvale
