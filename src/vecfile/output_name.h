// Output file naming: each vector file is written beside its input table.
#ifndef MORVALE_VECFILE_OUTPUT_NAME_H
#define MORVALE_VECFILE_OUTPUT_NAME_H

#include <string>

namespace morvale {

// Which endings name a table. The first format's tables are NAME.txt; the
// tables that version 2 reads as their programs meant them are also
// NAME.csv, NAME.tsv and NAME.dat.
enum class TableEndings { Text, TextAndData };

// Turns an input name into its vector file's name, in place: a final
// lower-case table ending becomes ".vec" (run1.txt gives run1.vec, and with
// TextAndData vna.csv gives vna.vec); any other name gets ".vec" appended
// (A.TXT gives A.TXT.vec, and with Text data.csv gives data.csv.vec), so the
// output is never the input under its own name.
void deriveOutputName(std::string& name, TableEndings endings = TableEndings::Text);

// The table's own name, its folder and a final table ending left out: what
// names its vector file's run.
std::string tableStem(const std::string& name, TableEndings endings = TableEndings::Text);

// Whether `name` is recognisably a vector file, not a table: a regular file
// named NAME.vec (any letter case), or a link to one, that starts as either
// format's file does.
bool isVectorFile(const std::string& name);

}  // namespace morvale

#endif
