// The conversion of one table: its header read, then its vector file
// started, declared and filled row by row, or left as it was.
#ifndef MORVALE_VECFILE_CONVERSION_H
#define MORVALE_VECFILE_CONVERSION_H

#include <cstddef>
#include <string>

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/meant_header.h"
#include "table/row_reader.h"
#include "table/warnings.h"
#include "vecfile/sample_blocks.h"
#include "vecfile/vector_file.h"
#include "vecfile/vector_writer.h"

namespace morvale {

// Everything the conversion of one table works with, allocated once and
// reused for every table and row. The sizes are the two buffers' and the
// largest block of a version 2 file's samples; tests pass small ones to put
// every byte on a buffer's edge.
struct Converter {
    explicit Converter(std::size_t sourceBuffer = CharSource::kDefaultBufferSize,
                       std::size_t outputBuffer = VectorFile::kDefaultBufferSize,
                       std::size_t largestBlock = SampleBlocks::kLargestBlock)
        : source(sourceBuffer), output(outputBuffer), blocks(largestBlock) {}

    CharSource source;
    VectorFile output;
    HeaderInfo header;
    RowTable row;
    // The format to write, and for version 2 where the data came from and
    // the memory of its blocks.
    VectorFormat format = VectorFormat::Version1;
    Provenance provenance;
    SampleBlocks blocks;
    RowNotes rowNotes;
    // Version 2 reads a table as its program meant it: what its header said.
    MeantHeader meant;
};

enum class ConversionOutcome {
    Converted,
    Refused,          // the table breaks a limit: `refusal` says which, and where
    ReadFailed,       // reading the table failed: `error` says why
    Shrank,           // the table got shorter while it was read: a read error too
    OutputNotOpened,  // the vector file could not be started: `error` says why
    WriteFailed,      // the vector file could not be written whole: `error` says why
    MetadataNotKept,  // the vector file could not keep what the one it replaces had: `error` says why
};

struct Conversion {
    ConversionOutcome outcome = ConversionOutcome::Converted;
    Refusal refusal;
    int error = 0;
    // What makes a converted table almost surely not what its author meant.
    Warnings warnings;
    // The token a refusal is about, where it is about one.
    std::string refusedText;
    // Samples a version 2 file leaves out for an empty abscissa or value,
    // and the line of the first.
    long leftOut = 0;
    long firstLeftOutLine = 0;
    // How many bytes the table grew by while it was read, which were left out.
    long long grownBy = 0;
    // Its last line, which had no line end yet when it was opened, was left out.
    bool lastLineLeftOut = false;
};

// Converts the table open in `converter.source` into the vector file named
// `target`, in `converter.format`: reads its header, only then starts the
// vector file, writes the declarations, skips the separator line and writes
// the sample lines of every row. Version 1 reads the table by the first
// format's rules; version 2 as the program that wrote it meant it
// (meant_header.h, dialect.h), and refuses a table it would read otherwise. With a null `target` the bytes go where
// `converter.output` was attached. Whatever the outcome, `target` holds
// either what it held before or the complete new vector file; the source is
// left open. With `pending`, a file written whole is handed over to it to be
// synced and named later (the outcome is then Converted so far), instead of
// being synced and named here.
Conversion convertTable(Converter& converter, const char* target, PendingFile* pending = nullptr);

}  // namespace morvale

#endif
