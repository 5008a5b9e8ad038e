// One table's conversion as the run does it: the table opened, checked
// against the run's record, converted beside itself, and what became of it
// said, before its vector file waits for its name and after it has it.
#ifndef MORVALE_DRIVER_FILE_CONVERSION_H
#define MORVALE_DRIVER_FILE_CONVERSION_H

#include "vecfile/output_name.h"
#include "vecfile/vector_writer.h"

namespace morvale {

struct Turn;
struct Workspace;

enum class Outcome {
    Converted,
    NotConverted,     // refused, or failed while it was written
    InputNotOpened,   // ends the run
    OutputNotOpened,  // ends the run
};

// The endings that name a table: version 2 reads the data files of today's
// programs too, and names their vector files as it names a text table's.
TableEndings endingsOf(VectorFormat format);

// Converts the table of `turn`'s argument beside itself, saying what became of
// it. A vector file written whole waits in the turn for its name, and the
// turn's "converted" line with it.
Outcome convertFile(Turn& turn, Workspace& workspace);

// Says what became of the file of `turn`, which its group's commit has
// given its name or removed; `folderError` is its folder's failed sync, or 0.
void reportCommit(Turn& turn, int folderError, Workspace& workspace);

}  // namespace morvale

#endif
