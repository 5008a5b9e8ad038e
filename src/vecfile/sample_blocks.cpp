// The samples of a version 2 vector file, in blocks per vector.
#include "vecfile/sample_blocks.h"

namespace morvale {

void SampleBlocks::start(int vectors) {
    if (!memory_) {
        // Left uninitialised: only the pages that lines are written to become
        // resident.
        memory_.reset(new char[kMemory]);
        blocks_.reset(new Block[kMaxVectors]);
    }
    const std::size_t size = blockSize(vectors);
    for (int id = 0; id < vectors; ++id) {
        char* const start = memory_.get() + static_cast<std::size_t>(id) * size;
        blocks_[id] = Block{start, start, start + size};
    }
}

void SampleBlockWriter::flushBlock(int id) {
    SampleBlocks::Block& block = blocks_[id];
    output_.writeBlock(block.start, static_cast<std::size_t>(block.fill - block.start));
    block.fill = block.start;
}

// Takes back the lines a row gave vectors 0 to `written` - 1: the last line
// of each, which ends its block. A line holds no LF but its own last byte.
void SampleBlockWriter::undoRow(int written) {
    for (int id = 0; id < written; ++id) {
        SampleBlocks::Block& block = blocks_[id];
        char* at = block.fill - 1;  // the LF that ends the row's line
        while (at > block.start && at[-1] != '\n') {
            --at;
        }
        block.fill = at;
    }
}

void SampleBlockWriter::refuse(Refusal::Reason reason, std::string_view text, long line) {
    refusal_ = Refusal{reason, line};
    refusedText_ = std::string(text);
}

void SampleBlockWriter::noteLeftOut(long count, long line) {
    if (leftOut_ == 0) {
        firstLeftOutLine_ = line;
    }
    leftOut_ += count;
}

// The line of the row that readRow() has just cut: it stopped at the row's
// line end, which counts as read, or at the end of the input.
long SampleBlockWriter::rowLine() const { return source_.atEnd() ? source_.line() : source_.line() - 1; }

// An abscissa that the readers do not store as written, as they store it;
// empty, with the table refused, where they store it no way. A number gets
// the refusal that says what abscissas they store.
std::string_view SampleBlockWriter::exactAbscissaOf(std::string_view abscissa, char (&room)[kAbscissaRoom],
                                                    long line) {
    static_assert(kTokenBlock <= kAbscissaRoom, "the room holds the block a sample line copies");
    const std::string_view shortest = shortestExactAbscissa(abscissa, room);
    if (shortest.empty()) {
        refuse(isReadableValue(abscissa) ? Refusal::Reason::NotAnExactAbscissa : Refusal::Reason::NotAnExactNumber,
               abscissa, line);
    }
    return shortest;
}

bool takeStoredAbscissa(std::string_view& abscissa, char (&room)[kAbscissaRoom]) {
    if (abscissa.size() > kLongCommonLength) {
        return false;  // the token step may refuse it as too long
    }
    if (!isExactAbscissaAtOnce(abscissa)) {
        abscissa = shortestExactAbscissa(abscissa, room);
    }
    return !abscissa.empty();
}

void SampleBlockWriter::takeRowAt(const RowTable& row, long line) {
    // A row that gives no sample, for want of values or of an abscissa (an
    // empty line, a line of blanks, a closing word, one that a zero byte
    // empties), has nothing to check: as with a value beyond the vectors,
    // nothing of it is written.
    std::string_view abscissa = row.token(0);
    long empty = 0;
    for (int id = 0; id < vectors_; ++id) {
        empty += row.token(id + 1).empty() ? 1 : 0;
    }
    ++rows_;
    if (empty == vectors_ || abscissa.empty()) {
        if (vectors_ > 0) {
            noteLeftOut(vectors_, line);
        }
        return;
    }
    char shortest[kAbscissaRoom];
    if (!isExactAbscissa(abscissa)) {
        abscissa = exactAbscissaOf(abscissa, shortest, line);
        if (abscissa.empty()) {
            return;
        }
    }
    for (int id = 0; id < vectors_; ++id) {
        const std::string_view value = row.token(id + 1);
        if (value.empty()) {
            continue;
        }
        if (!isReadableValue(value)) {
            refuse(Refusal::Reason::NotAnExactNumber, value, line);
            return;
        }
        SampleBlocks::Block& block = blocks_[id];
        block.fill = putSampleLine(roomFor(block, id), id, abscissa, value);
    }
    if (empty > 0) {
        noteLeftOut(empty, line);
    }
}

void SampleBlockWriter::finish() {
    for (int id = 0; id < vectors_; ++id) {
        flushBlock(id);
    }
}

}  // namespace morvale
