// The driver: runs the tool from its command line, converting each named
// table in turn and reporting on the console.
#ifndef MORVALE_DRIVER_DRIVER_H
#define MORVALE_DRIVER_DRIVER_H

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/row_reader.h"
#include "vecfile/vector_writer.h"

namespace morvale {

// What a run must remember of its files so that one file's vector file never
// takes the place of another file of the same run.
struct RunRecord {
    struct Input {
        std::string name;
        files::Identity identity;
        bool known = false;  // the identity could be found when the run began
    };
    // A vector file this run wrote, and the table it came from.
    struct Written {
        std::string outputName;
        files::Identity output;
        files::Identity input;
        bool inputKnown = false;
        std::size_t argument = 0;
    };
    std::vector<Input> inputs;  // every file the run was given, in order
    std::vector<Written> written;
    // Something failed that spoils no vector file (an input that would not
    // close), yet must show in the exit status.
    bool troubled = false;
};

// The working state of a run: allocated once, reused for every file and row.
struct Workspace {
    CharSource source;
    VectorFile output;
    HeaderInfo header;
    RowTable row;
    RunRecord record;
};

enum class Outcome {
    Converted,
    NotConverted,     // refused, or failed while it was written
    InputNotOpened,   // ends the run
    OutputNotOpened,  // ends the run
};

// Writes the vector file of a table whose header has just been read:
// declarations, then the sample lines of every row. `current` is as
// readHeader left it. Stops early once the output has failed.
Refusal writeVectorFile(CharSource& source, char& current, const HeaderInfo& header, RowTable& row,
                        VectorFile& output);

// Converts the table that the run's argument `argument` names beside itself,
// printing the console messages of that file.
Outcome convertFile(std::size_t argument, Workspace& workspace);

// The whole run: usage or conversions, summary, closing block, key wait.
// Returns the exit status: 0 when every named file was converted (or none was
// named) and every report reached the console, 1 otherwise.
int run(int argc, char** argv);

}  // namespace morvale

#endif
