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

void SampleBlockWriter::refuse(std::string_view text, long line) {
    refusal_ = Refusal{Refusal::Reason::NotAnExactNumber, line};
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

void SampleBlockWriter::takeRowAt(const RowTable& row, long line) {
    // A row that gives no sample, for want of values or of an abscissa (an
    // empty line, a line of blanks, a closing word, one that a zero byte
    // empties), has nothing to check: as with a value beyond the vectors,
    // nothing of it is written.
    const std::string_view abscissa = row.token(0);
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
    if (!isExactAbscissa(abscissa)) {
        refuse(abscissa, line);
        return;
    }
    for (int id = 0; id < vectors_; ++id) {
        const std::string_view value = row.token(id + 1);
        if (value.empty()) {
            continue;
        }
        if (!isReadableValue(value)) {
            refuse(value, line);
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
