// The driver: runs the tool from its command line, converting each named
// table in turn and reporting on the console.
#ifndef MORVALE_DRIVER_DRIVER_H
#define MORVALE_DRIVER_DRIVER_H

#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/row_reader.h"
#include "vecfile/vector_writer.h"

namespace morvale {

// The working state of a run: allocated once, reused for every file and row.
struct Workspace {
    CharSource source;
    VectorFile output;
    HeaderInfo header;
    RowTable row;
};

enum class Outcome {
    Converted,
    NotConverted,     // refused, or failed after its output was opened
    InputNotOpened,   // ends the run
    OutputNotOpened,  // ends the run
};

// Writes the vector file of a table whose header has just been read:
// declarations, then the sample lines of every row. `current` is as
// readHeader left it. Stops early once the output has failed.
Refusal writeVectorFile(CharSource& source, char& current, const HeaderInfo& header, RowTable& row,
                        VectorFile& output);

// Converts one named table beside itself, printing the console messages of
// that file.
Outcome convertFile(const char* name, Workspace& workspace);

// The whole run: usage or conversions, summary, closing block, key wait.
// Returns the exit status: 0 when every named file was converted (or none was
// named), 1 otherwise.
int run(int argc, char** argv);

}  // namespace morvale

#endif
