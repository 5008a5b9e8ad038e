// The bytes of a sample line, id TAB abscissa TAB value CR LF, and the
// writing of the common rows' lines as their tokens are cut. All inline: the
// conversion's row loop is the tool's hot path, and the compiler keeps its
// state in registers only when it sees the whole loop in one function.
#ifndef MORVALE_VECFILE_SAMPLE_LINES_H
#define MORVALE_VECFILE_SAMPLE_LINES_H

#include <cstddef>
#include <cstring>
#include <string_view>

#include "table/char_source.h"
#include "table/row_reader.h"
#include "table/token_table.h"
#include "vecfile/vector_file.h"

namespace morvale {

inline constexpr std::string_view kLineEnd = "\r\n";

// A vector's number as decimal text, prepared once for every possible id so
// that sample lines need no number formatting.
struct IdText {
    char text[4];
    unsigned char length;
};

struct IdTexts {
    IdText ids[kMaxVectors];
};

constexpr IdTexts makeIdTexts() {
    IdTexts table{};
    for (int id = 0; id < kMaxVectors; ++id) {
        char digits[4] = {};
        int count = 0;
        for (int rest = id; count == 0 || rest > 0; rest /= 10) {
            digits[count++] = static_cast<char>('0' + rest % 10);
        }
        for (int i = 0; i < count; ++i) {
            table.ids[id].text[i] = digits[count - 1 - i];
        }
        table.ids[id].length = static_cast<unsigned char>(count);
    }
    return table;
}

inline constexpr IdTexts kIdTexts = makeIdTexts();
static_assert(sizeof kIdTexts.ids[0].text >= 4 && kMaxVectors <= 9999, "ids need at most four digits");

// id TAB abscissa TAB value CR LF, at the longest.
inline constexpr std::size_t kMaxSampleLine =
    sizeof(IdText::text) + 1 + TokenTable::kMaxTokenLength + 1 + TokenTable::kMaxTokenLength + kLineEnd.size();
static_assert(kMaxSampleLine <= VectorFile::kMaxReserve, "a sample line fits one reservation");

inline char* putText(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// A token as one fixed block of kTokenBlock bytes when it fits, the common
// case: a fixed-size copy is a few moves, where a copy of a varying length is
// a call. The bytes past the token are overwritten by what follows it. Tokens
// stand in TokenTable slots or in the input's buffer, so the block is
// readable, and a sample line's room leaves space for it after every token.
inline constexpr std::size_t kTokenBlock = 32;
static_assert(kTokenBlock <= TokenTable::kSlotSize, "the block stays inside a slot");
static_assert(kTokenBlock <= CharSource::kSlack, "the block stays inside the input's buffer");
static_assert(kTokenBlock <= TokenTable::kMaxTokenLength + kLineEnd.size(), "the block stays inside a sample line");

inline char* putToken(char* out, std::string_view token) {
    if (token.size() <= kTokenBlock) {
        std::memcpy(out, token.data(), kTokenBlock);
    } else {
        std::memcpy(out, token.data(), token.size());
    }
    return out + token.size();
}

inline std::string_view idText(int id) { return std::string_view(kIdTexts.ids[id].text, kIdTexts.ids[id].length); }

// An empty value, readable as a whole block.
inline constexpr char kNoValue[kTokenBlock] = {};

// One sample line into room for kMaxSampleLine bytes; returns its end. Always
// inlined: in the row loops a call would cost as much as the line itself.
[[gnu::always_inline]] inline char* putSampleLine(char* out, int id, std::string_view abscissa, std::string_view value) {
    const IdText& number = kIdTexts.ids[id];
    std::memcpy(out, number.text, sizeof number.text);  // whole array: cheaper than its length
    out += number.length;
    *out++ = '\t';
    out = putToken(out, abscissa);
    *out++ = '\t';
    out = putToken(out, value);
    return putText(out, kLineEnd);
}

// Writes the lines of the row that `rows` has started into the room from
// `out` to `roomEnd`, as its tokens are cut, and takes the row; returns the
// end of its lines. Null when the row is another kind, holds a value too long
// for the token step or does not fit the room: it is then left untaken, and
// the lines are void; its shape may have been noted all the same.
inline char* putPlainRow(PlainRows& rows, int vectors, char* out, const char* roomEnd, RowNotes& notes) {
    const auto roomForLine = [&out, roomEnd]() { return roomEnd - out >= static_cast<std::ptrdiff_t>(kMaxSampleLine); };
    std::string_view abscissa;
    rows.nextToken(abscissa);  // always there: the row starts with a plain character
    if (!RowTable::fits(abscissa.size())) {
        return nullptr;
    }
    int id = 0;
    std::string_view value;
    while (id < vectors && rows.nextToken(value)) {
        if (!RowTable::fits(value.size()) || !roomForLine()) {
            return nullptr;
        }
        out = putSampleLine(out, id++, abscissa, value);
    }
    if (id < vectors) {
        notes.fewerValues.note(rows.line());
        do {  // the values the row does not supply
            if (!roomForLine()) {
                return nullptr;
            }
            out = putSampleLine(out, id, abscissa, std::string_view(kNoValue, 0));
        } while (++id < vectors);
    } else if (rows.nextToken(value)) {
        notes.moreValues.note(rows.line());
        while (rows.nextToken(value)) {  // values beyond the vectors are dropped
        }
    }
    return rows.takeRow() ? out : nullptr;
}

// Writes the common rows that `rows` holds, for as long as they come and fit
// the output's buffer, and notes those with fewer or more values than
// vectors; true when it took any.
inline bool writePlainRows(VectorFile& output, int vectors, PlainRows& rows, RowNotes& notes) {
    char* out = output.reserve(kMaxSampleLine);
    if (output.failed()) {
        return false;  // nothing more can be written
    }
    const char* const roomEnd = output.roomEnd();
    bool took = false;
    while (rows.startRow()) {
        char* const end = putPlainRow(rows, vectors, out, roomEnd, notes);
        if (end == nullptr) {
            break;
        }
        out = end;
        took = true;
    }
    output.commit(out);
    // The row it stopped at, if it was noted, is read again: as it will be
    // read then, not as far as it was read here.
    notes.fewerValues.forget(rows.line());
    notes.moreValues.forget(rows.line());
    return took;
}

}  // namespace morvale

#endif
