// TokenTable: the fixed table into which one header line or one row is cut,
// and the few pieces every line reader shares.
#ifndef MORVALE_TABLE_TOKEN_TABLE_H
#define MORVALE_TABLE_TOKEN_TABLE_H

#include <cstring>
#include <string_view>

#include "table/char_source.h"

namespace morvale {

// A table of kSlots tokens of at most kMaxTokenLength characters each, stored
// zero-terminated. An empty token and an empty slot are the same thing. The
// table never grows: it is allocated once and reused for every line and file.
class TokenTable {
public:
    static constexpr int kSlots = 1024;
    static constexpr int kSlotSize = 256;
    static constexpr int kMaxTokenLength = kSlotSize - 1;

    // Stores one character; false, storing nothing, when the token is full.
    // The caller keeps slot below kSlots.
    bool put(int slot, int position, char c) {
        if (position >= kMaxTokenLength) {
            return false;
        }
        slots_[slot][position] = c;
        return true;
    }
    void terminate(int slot, int position) { slots_[slot][position] = '\0'; }
    void makeEmpty(int slot) { slots_[slot][0] = '\0'; }

    // The token's text, up to its first zero byte.
    std::string_view token(int slot) const { return std::string_view(slots_[slot], std::strlen(slots_[slot])); }

private:
    // Left uninitialised: the readers empty every slot that can be written
    // out, and untouched slots then cost no memory.
    char slots_[kSlots][kSlotSize];
};

// Why a table was refused: a fixed reason and the line where it was found.
// A default Refusal means the table was accepted.
struct Refusal {
    const char* reason = nullptr;
    long line = 0;

    explicit operator bool() const { return reason != nullptr; }
};

constexpr char kBlank = ' ';

inline bool isBlank(char c) { return c == kBlank; }
inline bool isLineEnd(char c) { return c == '\n'; }

// Advances the current character past a run of blanks. It stops at the first
// character that is not a blank, the end marker included.
inline void skipBlanks(char& current, CharSource& source) {
    while (isBlank(current)) {
        current = source.next();
    }
}

}  // namespace morvale

#endif
