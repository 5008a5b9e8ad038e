// The samples of a version 2 vector file: each vector's sample lines
// gathered in a block of its own and written out whole when the block is
// full, and at the end in vector order. The format's readers of today index a
// file one block of consecutive lines of a vector at a time: a file whose
// vectors are interleaved row by row would cost them one index entry per
// sample.
//
// Only what those readers read right is written: a sample with an empty
// abscissa or value is no sample and is left out (and counted), an abscissa
// with more digits than they store is written as the shortest decimal that
// reads as the same double, and an abscissa or value that they would still
// refuse or read as another number refuses the table.
#ifndef MORVALE_VECFILE_SAMPLE_BLOCKS_H
#define MORVALE_VECFILE_SAMPLE_BLOCKS_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/row_reader.h"
#include "table/table_notes.h"
#include "vecfile/number_check.h"
#include "vecfile/sample_lines.h"
#include "vecfile/vector_file.h"

namespace morvale {

// The memory of the blocks, allocated once per run and shared out among the
// vectors of each table: at most kMemory bytes in all, at most kLargestBlock
// per vector. Pages never filled (a small table, few vectors) are never
// made resident.
class SampleBlocks {
public:
    static constexpr std::size_t kMemory = std::size_t{32} << 20;
    static constexpr std::size_t kLargestBlock = std::size_t{256} << 10;
    // Even at kMaxVectors a block holds several of the longest lines.
    static_assert(kMemory / kMaxVectors >= 8 * kMaxSampleLine, "every block holds lines");

    // Tests pass small blocks, so that blocks fill and are written out
    // between the rows of small tables; a block always holds a line.
    explicit SampleBlocks(std::size_t largestBlock = kLargestBlock)
        : largest_(largestBlock > kMaxSampleLine ? largestBlock : kMaxSampleLine) {}

    // The size of each block for a table of `vectors` vectors.
    std::size_t blockSize(int vectors) const {
        const std::size_t shared = vectors > 0 ? kMemory / static_cast<std::size_t>(vectors) : largest_;
        return shared < largest_ ? shared : largest_;
    }

    struct Block {
        char* start;
        char* fill;  // where the next line goes
        char* end;
    };

    // Empties the blocks and shares the memory out among `vectors` vectors.
    void start(int vectors);
    Block& operator[](int id) { return blocks_[id]; }
    Block* data() { return blocks_.get(); }
    // The forms of the values' shapes, remembered for the table.
    CommonFormCache& forms() { return *forms_; }

private:
    std::size_t largest_;
    std::unique_ptr<char[]> memory_;
    std::unique_ptr<Block[]> blocks_;
    std::unique_ptr<CommonFormCache> forms_{new CommonFormCache};
};

// The sink that readRows() hands the rows of a table to for a version 2 file.
// Like SampleLineWriter it takes the common rows as their tokens are cut; a
// row it cannot take whole (it turns out another kind of row, or holds a
// number to refuse) it leaves to readRow() and takeRow(), which refuses the
// table at such a number and names its line. finish() writes what the blocks
// still hold once every row has been read.
class SampleBlockWriter {
public:
    // The common rows it takes are noted in `notes`, as readRow() notes the
    // others.
    SampleBlockWriter(VectorFile& output, const HeaderInfo& header, const CharSource& source, SampleBlocks& blocks,
                      RowNotes& notes)
        : output_(output), source_(source), blocks_(blocks), notes_(notes), vectors_(header.vectorCount()) {
        blocks_.start(vectors_);
    }

    template <typename Rows>
    bool takePlainRows(Rows rows);
    void takeRow(const RowTable& row) { takeRowAt(row, rowLine()); }
    // The same for a row of line `line`, which the header's reader read.
    void takeRowAt(const RowTable& row, long line);
    bool stopped() const { return output_.failed() || refusal_; }

    // Writes every block that holds lines, in vector order.
    void finish();

    // The refusal of a number, and the number's text.
    const Refusal& refusal() const { return refusal_; }
    const std::string& refusedText() const { return refusedText_; }
    // How many samples were left out for an empty abscissa or value, and
    // the line of the first.
    long leftOut() const { return leftOut_; }
    long firstLeftOutLine() const { return firstLeftOutLine_; }
    // Whether rows were given, and not one of them gave a sample.
    bool noSample() const { return rows_ > 0 && leftOut_ == rows_ * vectors_; }

private:
    template <typename Rows>
    bool putRow(Rows& rows, SampleBlocks::Block* blocks, int vectors, CommonFormCache& forms);
    char* roomFor(SampleBlocks::Block& block, int id);
    void flushBlock(int id);
    void undoRow(int written);
    std::string_view exactAbscissaOf(std::string_view abscissa, char (&room)[kAbscissaRoom], long line);
    void refuse(Refusal::Reason reason, std::string_view text, long line);
    void noteLeftOut(long count, long line);
    long rowLine() const;

    VectorFile& output_;
    const CharSource& source_;
    SampleBlocks& blocks_;
    RowNotes& notes_;
    const int vectors_;
    Refusal refusal_;
    std::string refusedText_;
    long leftOut_ = 0;
    long firstLeftOutLine_ = 0;
    long rows_ = 0;  // the rows given, each of which gave a sample or left its samples out
};

// A token of a table whose numbers may have a decimal comma, with its commas
// made points, in `copy`, which the token then refers to; false when it is
// too long to be told at once, and so left to the token step.
inline bool takeDecimalCommas(std::string_view& token, char (&copy)[kTokenBlock]) {
    if (token.size() > kCommonLength) {
        return false;
    }
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(token.data()));
    const __m128i comma = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(','));
    const __m128i point = _mm_and_si128(comma, _mm_set1_epi8('.'));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(copy), _mm_or_si128(_mm_andnot_si128(comma, bytes), point));
#else
    for (std::size_t at = 0; at < kCommonLength; ++at) {
        copy[at] = token.data()[at] == ',' ? '.' : token.data()[at];
    }
#endif
    token = std::string_view(copy, token.size());
    return true;
}

// An abscissa that is not told at once to be stored as written, such as
// printf's "%.18e", made what the readers store, as takeRow() makes it: the
// text itself, or the shortest decimal of its double, written into `room`.
// False, leaving the row to the token step, when there is neither, or the
// text is longer than a common token.
bool takeStoredAbscissa(std::string_view& abscissa, char (&room)[kAbscissaRoom]);

// The block of vector `id` with room for one more line.
inline char* SampleBlockWriter::roomFor(SampleBlocks::Block& block, int id) {
    if (block.end - block.fill < static_cast<std::ptrdiff_t>(kMaxSampleLine)) {
        flushBlock(id);
    }
    return block.fill;
}

// Writes the lines of the row that `rows` has started into the blocks, as its
// tokens are cut, and takes the row; false, with the row untaken, when it is
// another kind of row or holds a token that is not a number of the common
// forms: the token step and takeRow() then take it, and refuse the table if
// the token is no number at all. A value beyond the vectors is dropped
// unseen, as in every format. The blocks and their count are the caller's
// locals: lines are written through a char pointer, after which the compiler
// would load again whatever this object holds.
template <typename Rows>
[[gnu::always_inline]] inline bool SampleBlockWriter::putRow(Rows& rows, SampleBlocks::Block* blocks, int vectors,
                                                             CommonFormCache& forms) {
    constexpr bool kDecimalComma = Rows::Rule::kDecimalComma;
    char abscissaCopy[kTokenBlock] = {};
    char valueCopy[kTokenBlock] = {};
    char shortest[kAbscissaRoom];  // bytes past the text are never written out, as in takeRowAt()
    std::string_view abscissa;
    rows.nextToken(abscissa);  // always there: the row starts with a plain character
    if ((kDecimalComma && !takeDecimalCommas(abscissa, abscissaCopy)) ||
        (!isPlainNumber(abscissa) && !takeStoredAbscissa(abscissa, shortest))) {
        return false;
    }
    int id = 0;
    std::string_view value;
    while (id < vectors && rows.nextToken(value)) {
        if ((kDecimalComma && !takeDecimalCommas(value, valueCopy)) || forms.formOf(value) == CommonForm::None) {
            undoRow(id);
            return false;
        }
        SampleBlocks::Block& block = blocks[id];
        block.fill = putSampleLine(roomFor(block, id), id, abscissa, value);
        ++id;
    }
    if (id == vectors && rows.nextToken(value)) {
        if (Rows::Rule::kExtraValuesAreDecimalCommas) {
            undoRow(id);  // the token step judges them
            return false;
        }
        notes_.moreValues.note(rows.line());
        while (rows.nextToken(value)) {  // values beyond the vectors are dropped unseen
        }
    }
    if (!rows.takeRow()) {
        undoRow(id);  // the token step takes the row again
        return false;
    }
    if (id < vectors) {
        noteLeftOut(vectors - id, source_.line() - 1);
    }
    return true;
}

// Only a full block is written out here, and a failed write stops nothing
// that matters: what follows is dropped, and the reading stops at the row
// after.
template <typename Rows>
inline bool SampleBlockWriter::takePlainRows(Rows rows) {
    SampleBlocks::Block* const blocks = blocks_.data();
    const int vectors = vectors_;
    long took = 0;
    CommonFormCache& forms = blocks_.forms();
    while (rows.startRow() && putRow(rows, blocks, vectors, forms)) {
        ++took;
    }
    rows_ += took;
    // The row it stopped at, if it was noted, is read again: as it will be
    // read then, not as far as it was read here.
    notes_.moreValues.forget(rows.line());
    return took > 0;
}

}  // namespace morvale

#endif
