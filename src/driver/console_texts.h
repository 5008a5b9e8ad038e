// The console's fixed texts, each byte as users and their scripts know it.
// The texts of the command line (--help, --version, a wrong option) are
// command_line.cpp's.
#ifndef MORVALE_DRIVER_CONSOLE_TEXTS_H
#define MORVALE_DRIVER_CONSOLE_TEXTS_H

#include <cstddef>
#include <string>

namespace morvale::text {

constexpr const char* kUsage =
    "Use: MORVALE file_name1 [file_name2 file_name3 ..]\n"
    "     or drag and drop all the desired files to the program icon in Windows\n\n";
constexpr const char* kInputNotOpened = "Error opening file.\n";
constexpr const char* kOutputNotOpened = "No se puede abrir el fichero.\n";
constexpr const char* kCloseFailed = "Problemas al cerrar el fichero\n";
inline std::string converted(const std::string& outputName) { return "File " + outputName + " converted\n"; }
inline std::string summary(int converted) {
    return "\t" + std::to_string(converted) + " File(s) converted succesfully\n\n";
}

// The closing block: the two people to contact, the date and the version.
struct Author {
    const char* name;
    const char* email;
};
constexpr Author kAuthors[] = {
    {"MORVALE maintainers", "maintainers@morvale.example"},
    {"MORVALE support", "support@morvale.example"},
};
constexpr const char* kMadeBy = "Tool made by:\n\n";
constexpr const char* kVersionLine = "27/03/2003      MORVALE v1.0 \n\n";
constexpr const char* kKeyPrompt = "Press anykey to continue \n\n";

inline std::string leftOut(long samples) {
    return "warning: " + std::to_string(samples) +
           (samples == 1 ? " sample" : " samples") +
           " with an empty abscissa or value left out, as the readers of version 2 files take no empty "
           "number; rows shorter than the header, or empty cells?";
}

// Hints after the reason a named file could not be opened, for the slips
// that are easy to make: asking for help as other tools are asked, and
// naming a table without its .txt.
constexpr const char* kHelpHint = " (for help: morvale --help)";
inline std::string didYouMean(const std::string& name) { return " (did you mean " + name + "?)"; }

constexpr const char* kVectorFileGiven = "a vector file, not a table: left as it is";

// The tables after one that ended the run.
inline std::string leftUnconverted(std::size_t count, const std::string& first) {
    return count == 1 ? "1 more table not converted: " + first
                      : std::to_string(count) + " more tables not converted, from " + first + " on";
}

}  // namespace morvale::text

#endif
