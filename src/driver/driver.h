// The driver: runs the tool from its command line, converting each named
// table in turn and reporting on the console.
#ifndef MORVALE_DRIVER_DRIVER_H
#define MORVALE_DRIVER_DRIVER_H

namespace morvale {

// The whole run: usage or conversions, summary, closing block, key wait.
// Returns the exit status: 0 when every named file was converted (or none was
// named) and every report reached the console, 1 otherwise.
int run(int argc, char** argv);

}  // namespace morvale

#endif
