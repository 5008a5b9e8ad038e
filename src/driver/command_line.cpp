// The command line: options anywhere among the tables, `--` ending them.
#include "driver/command_line.h"

#include <cstring>

namespace morvale {

namespace {

namespace text {
constexpr const char* kHelpText =
    "Usage: morvale [OPTION]... TABLE...\n"
    "Converts each text table into a vector file beside it: NAME.txt gives\n"
    "NAME.vec, any other name gets .vec appended. On Windows, tables may also be\n"
    "dropped on the program's icon (or on a shortcut that gives --format 2).\n"
    "\n"
    "  table        a header, a line of - or =, then rows of blank-separated values\n"
    "  vector file  one declaration per data column, then one sample line per value\n"
    "\n"
    "  --format 2   write files that the format's readers of today open: a version\n"
    "  --format=2   line, a run of its own, each vector's samples in blocks, only\n"
    "               numbers they read exactly. Read tables as today's programs\n"
    "               write them: values between blanks or TABs, commas or\n"
    "               semicolons (CSV, decimal commas); # comments, names on the\n"
    "               comment line above the rows; no separator line; a line of\n"
    "               units. NAME.csv, NAME.tsv and NAME.dat give NAME.vec too.\n"
    "               A table that would be read otherwise than meant is refused.\n"
    "  --format 1   the tool's first format, for older readers (the default)\n"
    "  --no-wait    no closing block and no key wait at the end, for scripts\n"
    "  --help       show this text and end\n"
    "  --version    show the version and end\n"
    "  --           the end of the options: every argument after it is a table\n"
    "Options may come before, between or after the tables; a table named like an\n"
    "option is given after -- or as ./--name.\n"
    "\n"
    "Exit status: 0 when every table was converted, 1 otherwise.\n"
    "The manual: man morvale (on Windows, the README in the docs folder).\n";
constexpr const char* kVersionText = "morvale " MORVALE_VERSION "\n";

constexpr const char* kFormatOption = "--format";
constexpr const char* kFormatMissing = "needs a value: 1 or 2 (for help: morvale --help)";
std::string badFormat(const std::string& given) {
    return "'" + given + "' is not a vector file format: 1 or 2 (for help: morvale --help)";
}
constexpr const char* kUnknown = "unknown option (for help: morvale --help; a table of that name is ./";
}  // namespace text

bool isOption(const char* argument) { return argument[0] == '-' && argument[1] != '\0'; }

// Reads the value of --format, given as `--format N` or `--format=N`, from
// `argv[index]` on; returns the index after it.
int readFormat(int argc, char** argv, int index, CommandLine& line) {
    const char* const argument = argv[index];
    const std::size_t length = std::strlen(text::kFormatOption);
    std::string value;
    if (argument[length] == '=') {
        value = argument + length + 1;
    } else if (index + 1 < argc) {
        value = argv[++index];
    } else {
        line.wrongOption = text::kFormatOption;
        line.whatIsWrong = text::kFormatMissing;
        return index + 1;
    }
    if (value == "1" || value == "2") {
        line.format = value == "1" ? VectorFormat::Version1 : VectorFormat::Version2;
    } else {
        line.wrongOption = text::kFormatOption;
        line.whatIsWrong = text::badFormat(value);
    }
    return index + 1;
}

bool startsWithFormat(const char* argument) {
    const std::size_t length = std::strlen(text::kFormatOption);
    return std::strncmp(argument, text::kFormatOption, length) == 0 &&
           (argument[length] == '\0' || argument[length] == '=');
}

// Reads the option at `argv[index]`, and its value if it takes one; returns
// the index of the next argument.
int readOption(int argc, char** argv, int index, CommandLine& line) {
    const char* const argument = argv[index];
    if (startsWithFormat(argument)) {
        return readFormat(argc, argv, index, line);
    }
    if (std::strcmp(argument, "--no-wait") == 0) {
        line.closingWait = false;
    } else if (std::strcmp(argument, "--help") == 0) {
        line.answer = text::kHelpText;
    } else if (std::strcmp(argument, "--version") == 0) {
        line.answer = text::kVersionText;
    } else {
        line.wrongOption = argument;
        line.whatIsWrong = text::kUnknown + std::string(argument) + ")";
    }
    return index + 1;
}

}  // namespace

CommandLine readCommandLine(int argc, char** argv) {
    CommandLine line;
    bool options = true;
    for (int index = 1; index < argc && line.wrongOption.empty() && line.answer == nullptr;) {
        if (options && std::strcmp(argv[index], "--") == 0) {
            options = false;
            ++index;
        } else if (options && isOption(argv[index])) {
            index = readOption(argc, argv, index, line);
        } else {
            line.tables.emplace_back(argv[index++]);
        }
    }
    return line;
}

}  // namespace morvale
