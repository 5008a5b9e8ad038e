// The vector file's formats: their heading, declaration and sample lines.
//
// A vector file is text with CR LF line ends, written in binary so that every
// platform writes the same bytes. It declares one numbered vector per data
// column, then lists one sample line per vector for every row:
//   vector<TAB>0<TAB>"Time"<TAB>"A"
//   ...
//   0<TAB>abscissa<TAB>value
// Version 1, the tool's own from the start, interleaves the vectors row by
// row and copies names as they are. Version 2 is the file that the format's
// readers of today open: it starts with a version line, a run line and the
// run's attributes, escapes the quotes and backslashes of names, leaves out
// samples with an empty abscissa or value, and lists each vector's samples
// in blocks (sample_blocks.h), which those readers index one block at a time
// instead of one sample at a time.
#ifndef MORVALE_VECFILE_VECTOR_WRITER_H
#define MORVALE_VECFILE_VECTOR_WRITER_H

#include <string>

#include "table/header_reader.h"
#include "table/row_reader.h"
#include "vecfile/sample_lines.h"
#include "vecfile/vector_file.h"

namespace morvale {

enum class VectorFormat { Version1, Version2 };

// Where a version 2 file's data came from, said in its run's attributes.
struct Provenance {
    std::string runId;      // unique to this file: no two files' runs merge
    std::string table;      // the table's name as it was given
    std::string converted;  // when, as 2026-12-09T11:30:00Z
    std::string converter;  // the tool and its version
};

// The lines before the declarations of a version 2 file: the version line,
// the run line and the run's attributes.
void writeHeading(VectorFile& output, const Provenance& provenance);

// Writes one declaration line per vector and the empty lines that follow
// them: in the three-line layout the even vectors, two empty lines, then the
// odd vectors; in the one-line layout all vectors, then one empty line. The
// names are quoted as the format's version wants them.
void writeDeclarations(VectorFile& output, const HeaderInfo& header, VectorFormat format);

// Writes the V sample lines of one row, vectors 0 to V - 1.
void writeSamples(VectorFile& output, const HeaderInfo& header, const RowTable& row);

// The sink that readRows() hands the rows of a table to: the common rows'
// lines written as their tokens are cut, straight from the input's buffer,
// for as long as they come and fit the output's buffer; any other row's once
// readRow() has cut it. It stops the reading once the output has failed:
// nothing more could be written. Inline, so that the conversion's row loop
// is one function to the compiler.
class SampleLineWriter {
public:
    // The common rows it takes are noted in `notes`, as readRow() notes the
    // others.
    SampleLineWriter(VectorFile& output, const HeaderInfo& header, RowNotes& notes)
        : output_(output), header_(header), notes_(notes), vectors_(header.vectorCount()) {}

    bool takePlainRows(PlainRows rows) { return writePlainRows(output_, vectors_, rows, notes_); }
    void takeRow(const RowTable& row) { writeSamples(output_, header_, row); }
    bool stopped() const { return output_.failed(); }

private:
    VectorFile& output_;
    const HeaderInfo& header_;
    RowNotes& notes_;
    const int vectors_;
};

}  // namespace morvale

#endif
