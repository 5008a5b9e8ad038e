// Progress on long work, where a person is watching: a table that takes more
// than a second to convert gets one line on standard error, rewritten in
// place, that says how far the conversion is and how fast it goes. Nothing is
// shown when standard error is not a terminal (a file, a pipe, a script).
#ifndef MORVALE_DRIVER_PROGRESS_H
#define MORVALE_DRIVER_PROGRESS_H

#include <string>

namespace morvale::progress {

// Whether anything may be shown at all: once, at the start of the run.
void enable(bool watched);

// The conversion of the table `name` starts now.
void start(const std::string& name);

// How many bytes of the table were read so far, of `size` (-1 when unknown);
// the source tells this after every block it reads.
void blockRead(long long read, long long size);

// Takes the line away if one is shown, so that the next line written to the
// console starts where it would have; the table's conversion is over or
// about to report.
void erase();

}  // namespace morvale::progress

#endif
