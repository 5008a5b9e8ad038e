// Output file naming: each vector file is written beside its input table.
#ifndef MORVALE_VECFILE_OUTPUT_NAME_H
#define MORVALE_VECFILE_OUTPUT_NAME_H

#include <string>

namespace morvale {

// Turns an input name into its vector file's name, in place: a final
// lower-case ".txt" becomes ".vec" (run1.txt gives run1.vec); any other name
// gets ".vec" appended (data.csv gives data.csv.vec, A.TXT gives A.TXT.vec),
// so the output is never the input under its own name.
void deriveOutputName(std::string& name);

// The table's own name, its folder and a final ".txt" left out: what names
// its vector file's run.
std::string tableStem(const std::string& name);

// Whether `name` is recognisably a vector file, not a table: a regular file
// named NAME.vec (any letter case) that starts as either format's file does.
bool isVectorFile(const std::string& name);

}  // namespace morvale

#endif
