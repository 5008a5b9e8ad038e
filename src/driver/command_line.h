// The command line: the options, wherever they stand among the tables, and
// the tables in their order.
#ifndef MORVALE_DRIVER_COMMAND_LINE_H
#define MORVALE_DRIVER_COMMAND_LINE_H

#include <string>
#include <vector>

#include "vecfile/vector_writer.h"

namespace morvale {

struct CommandLine {
    VectorFormat format = VectorFormat::Version1;
    // The closing block and the key wait after the run; off for scripts that
    // run the tool on a terminal, one table at a time.
    bool closingWait = true;
    // The text that answers --help or --version instead of a conversion, or
    // nullptr.
    const char* answer = nullptr;
    std::vector<std::string> tables;
    // What was wrong with an option, said as `subject: what`; empty when
    // every option was understood.
    std::string wrongOption;
    std::string whatIsWrong;
};

// Reads the arguments after the program's name. Every argument that starts
// with '-' (but '-' alone) is an option, until `--`, after which each one is
// a table: a table named like an option is given after `--` or as ./--name.
// Reading stops at the first wrong option and at --help or --version.
CommandLine readCommandLine(int argc, char** argv);

}  // namespace morvale

#endif
