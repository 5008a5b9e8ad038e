// The driver: the argument loop, the per-file sequence and the console texts.
#include "driver/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/console.h"
#include "driver/progress.h"
#include "platform/file_system.h"
#include "platform/interrupts.h"
#include "vecfile/output_name.h"
#include "vecfile/conversion.h"

namespace morvale {

namespace {

// The console's fixed texts, each byte as users and their scripts know it.
namespace text {
constexpr const char* kUsage =
    "Use: MORVALE file_name1 [file_name2 file_name3 ..]\n"
    "     or drag and drop all the desired files to the program icon in Windows\n\n";
constexpr const char* kInputNotOpened = "Error opening file.\n";
constexpr const char* kOutputNotOpened = "No se puede abrir el fichero.\n";
constexpr const char* kCloseFailed = "Problemas al cerrar el fichero\n";
std::string converted(const std::string& outputName) { return "File " + outputName + " converted\n"; }
std::string summary(int converted) { return "\t" + std::to_string(converted) + " File(s) converted succesfully\n\n"; }

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

// The two requests answered instead of a conversion, and their answers. They
// count only as the sole argument, so that every run that names a table
// still converts it: a table named --help is given as ./--help.
constexpr const char* kHelpRequest = "--help";
constexpr const char* kVersionRequest = "--version";
constexpr const char* kHelpText =
    "Usage: morvale [--format 1|2] TABLE...\n"
    "Converts each text table into a vector file beside it: NAME.txt gives\n"
    "NAME.vec, any other name gets .vec appended. On Windows, tables may also be\n"
    "dropped on the program's icon (or on a shortcut that gives --format 2).\n"
    "\n"
    "  table        a header, a line of - or =, then rows of blank-separated values\n"
    "  vector file  one declaration per data column, then one sample line per value\n"
    "\n"
    "  --format 2   write files that the format's readers of today open: a version\n"
    "               line, a run of its own, each vector's samples in blocks, only\n"
    "               numbers they read exactly (a table with another is refused)\n"
    "  --format 1   the tool's first format, for older readers (the default)\n"
    "  --help       show this text and end\n"
    "  --version    show the version and end\n"
    "--format comes before the tables; --help and --version only as the sole\n"
    "argument: a table named --help is given as ./--help.\n"
    "\n"
    "Exit status: 0 when every table was converted, 1 otherwise.\n"
    "The manual: man morvale (on Windows, README.txt beside morvale.exe).\n";
constexpr const char* kVersionText = "morvale " MORVALE_VERSION "\n";

// The option that chooses the vector file's format, before the tables.
constexpr const char* kFormatOption = "--format";
std::string badFormat(const std::string& given) {
    return "'" + given + "' is not a vector file format: 1 or 2 (for help: morvale --help)";
}
std::string leftOut(long samples) {
    return "warning: " + std::to_string(samples) +
           (samples == 1 ? " sample" : " samples") +
           " with an empty abscissa or value left out, as the readers of version 2 files take no empty "
           "number; rows shorter than the header, or empty lines?";
}

// Hints after the reason a named file could not be opened, for the slips
// that are easy to make: asking for help as other tools are asked, and
// naming a table without its .txt.
constexpr const char* kHelpHint = " (for help: morvale --help)";
std::string didYouMean(const std::string& name) { return " (did you mean " + name + "?)"; }
}  // namespace text

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
    // An input would not close: that spoils no vector file, yet must show in
    // the exit status.
    bool inputCloseFailed = false;
};

// The working state of a run: allocated once, reused for every file and row.
struct Workspace {
    Converter converter;
    RunRecord record;
};

enum class Outcome {
    Converted,
    NotConverted,     // refused, or failed while it was written
    InputNotOpened,   // ends the run
    OutputNotOpened,  // ends the run
};

constexpr const char* kProgram = "morvale";

// The first failure to write the console report, or 0. A report that did not
// reach its reader must not pass for a successful run.
int consoleError = 0;

void noteConsoleFailure() {
    if (consoleError == 0) {
        consoleError = errno != 0 ? errno : EIO;
    }
}

void say(const std::string& text) {
    progress::erase();
    if (!writeConsole(stdout, text)) {
        noteConsoleFailure();
    }
}

void flushConsole() {
    if (std::fflush(stdout) != 0) {
        noteConsoleFailure();
    }
}

// Said at once, so that an interruption later in the run cannot lose it.
void sayNow(const std::string& text) {
    say(text);
    flushConsole();
}

// One line on standard error: morvale: SUBJECT: what happened. Standard output
// is flushed first so that a console shows both in the order they happened.
void diagnose(const std::string& subject, const std::string& what) {
    progress::erase();
    flushConsole();
    writeConsole(stderr, std::string(kProgram) + ": " + subject + ": " + what + "\n");
    std::fflush(stderr);
}

// The answer to a request for help or for the version, or nullptr when the
// arguments name tables.
const char* answerTo(int argc, char** argv) {
    if (argc != 2) {
        return nullptr;
    }
    if (std::strcmp(argv[1], text::kHelpRequest) == 0) {
        return text::kHelpText;
    }
    if (std::strcmp(argv[1], text::kVersionRequest) == 0) {
        return text::kVersionText;
    }
    return nullptr;
}

void printClosingBlock() {
    say(text::kMadeBy);
    for (const text::Author& author : text::kAuthors) {
        char line[128];
        std::snprintf(line, sizeof line, "%-31semail: %s\n", author.name, author.email);
        say(line);
    }
    say("\n");
    say(text::kVersionLine);
    say(text::kKeyPrompt);
}

// The exit status once the console report is complete: a report that could
// not be written turns success into failure, and is said where it can be.
int finishRun(int status) {
    flushConsole();
    if (consoleError == 0 && std::ferror(stdout)) {
        consoleError = EIO;
    }
    if (consoleError != 0) {
        writeConsole(stderr, std::string(kProgram) + ": standard output: " + std::strerror(consoleError) + "\n");
        std::fflush(stderr);
        return 1;
    }
    return status;
}

std::string notConverted(const std::string& what) { return what + "; file not converted"; }

// The vector file this run wrote that `identity` is, or nullptr. A file that
// has since been replaced no longer counts: its identity may belong to
// another file by now.
const RunRecord::Written* writtenAs(const RunRecord& record, const files::Identity& identity, bool known) {
    if (!known) {
        return nullptr;
    }
    for (const RunRecord::Written& written : record.written) {
        files::Identity now;
        if (written.output == identity && files::identityOf(written.outputName.c_str(), now) && now == identity) {
            return &written;
        }
    }
    return nullptr;
}

// Why the vector file `outputName` of argument `argument` must not be
// written, or an empty text: it would take the place of a table of this run,
// or of a vector file that another table of this run gave.
std::string outputConflict(const RunRecord& record, std::size_t argument, const std::string& outputName,
                           const CharSource& source) {
    files::Identity output;
    const bool outputKnown = files::identityOf(outputName.c_str(), output);
    files::Identity input;
    const bool inputKnown = source.identity(input);
    for (const RunRecord::Input& other : record.inputs) {
        if (other.name != outputName && !(outputKnown && other.known && other.identity == output)) {
            continue;
        }
        if (outputKnown && inputKnown && output == input) {
            return notConverted("its vector file " + outputName + " is this table itself");
        }
        return notConverted("its vector file " + outputName + " is " + other.name + ", a table of this run");
    }
    if (const RunRecord::Written* written = writtenAs(record, output, outputKnown)) {
        const bool sameTable = inputKnown && written->inputKnown && written->input == input;
        if (!sameTable && written->argument != argument) {
            return notConverted("its vector file " + outputName + " was already written from " +
                                record.inputs[written->argument].name + " in this run");
        }
    }
    return std::string();
}

// Why the open table must not be read, or an empty text: it is a vector file
// that this run wrote (named in another way than the run could foresee).
std::string inputConflict(const RunRecord& record, const CharSource& source) {
    files::Identity input;
    const bool inputKnown = source.identity(input);
    if (const RunRecord::Written* written = writtenAs(record, input, inputKnown)) {
        return notConverted("it is " + written->outputName + ", the vector file of " +
                            record.inputs[written->argument].name + " in this run");
    }
    return std::string();
}

// What may have been meant by a name that names no file, or an empty text:
// an option (a name such as -h, or /? as Windows tools take it), or the
// table of that name with .txt, when there is one.
std::string hintForMissing(const std::string& name, int error) {
    if (error != ENOENT) {
        return std::string();
    }
    if (name.compare(0, 1, "-") == 0 || name == "/?") {
        return text::kHelpHint;
    }
    const std::string table = name + ".txt";
    files::Identity identity;
    return files::identityOf(table.c_str(), identity) ? text::didYouMean(table) : std::string();
}

// Closes the input; a failure is said but spoils nothing already read.
void closeInput(CharSource& source, const std::string& name, RunRecord& record) {
    if (!source.close()) {
        const int error = errno;
        say(text::kCloseFailed);
        diagnose(name, std::string("cannot close: ") + std::strerror(error));
        record.inputCloseFailed = true;
    }
}

// Remembers the vector file just written, so that no later table of the run
// can take its place.
void recordWritten(RunRecord& record, std::size_t argument, const std::string& outputName, bool inputKnown,
                   const files::Identity& input) {
    RunRecord::Written written;
    if (files::identityOf(outputName.c_str(), written.output)) {
        written.outputName = outputName;
        written.input = input;
        written.inputKnown = inputKnown;
        written.argument = argument;
        record.written.push_back(written);
    }
}

// The warnings on a converted table, in the order of their lines.
void reportWarnings(const Conversion& conversion, const std::string& name) {
    std::vector<std::pair<long, std::string>> lines;
    for (const Warning& warning : conversion.warnings) {
        lines.emplace_back(warning.line, "warning: " + describe(warning));
    }
    if (conversion.leftOut > 0) {
        lines.emplace_back(conversion.firstLeftOutLine, text::leftOut(conversion.leftOut));
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& one, const auto& other) { return one.first < other.first; });
    for (const auto& [line, what] : lines) {
        diagnose(name, "line " + std::to_string(line) + ": " + what);
    }
}

// Says what became of a table whose conversion ran, and whether the run goes on.
Outcome report(const Conversion& conversion, const std::string& name, const std::string& outputName) {
    switch (conversion.outcome) {
    case ConversionOutcome::Converted:
        reportWarnings(conversion, name);
        sayNow(text::converted(outputName));
        return Outcome::Converted;
    case ConversionOutcome::Refused: {
        const std::string token = conversion.refusedText.empty() ? "" : "'" + conversion.refusedText + "' is ";
        diagnose(name, notConverted("line " + std::to_string(conversion.refusal.line) + ": " + token +
                                    describe(conversion.refusal.reason)));
        return Outcome::NotConverted;
    }
    case ConversionOutcome::ReadFailed:
        diagnose(name, notConverted(std::string("read error: ") + std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::WriteFailed:
        say(text::kCloseFailed);
        diagnose(name, notConverted("cannot write " + outputName + ": " + std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::OutputNotOpened:
        break;
    }
    say(text::kOutputNotOpened);
    diagnose(outputName, conversion.error == VectorFile::kNotRegularFile ? "not a regular file"
                                                                          : std::strerror(conversion.error));
    return Outcome::OutputNotOpened;
}

// What a version 2 file says of where its data came from. Its run is named
// after the table, the time and 32 random bits: two files' runs never share a
// name, which would merge them into one run for their readers.
Provenance provenanceOf(const std::string& name) {
    static std::random_device random;
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "00000000-000000";
    char converted[32] = "1970-01-01T00:00:00Z";
    if (const std::tm* utc = std::gmtime(&now)) {
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", utc);
        std::strftime(converted, sizeof converted, "%Y-%m-%dT%H:%M:%SZ", utc);
    }
    char unique[16];
    std::snprintf(unique, sizeof unique, "%08x", static_cast<unsigned>(random()));
#ifdef _WIN32
    const std::size_t leaf = name.find_last_of("/\\:");
#else
    const std::size_t leaf = name.find_last_of('/');
#endif
    std::string table = name.substr(leaf == std::string::npos ? 0 : leaf + 1);
    if (table.size() > 4 && table.compare(table.size() - 4, 4, ".txt") == 0) {
        table.resize(table.size() - 4);
    }
    Provenance provenance;
    provenance.runId = table + "-" + stamp + "-" + unique;
    provenance.table = name;
    provenance.converted = converted;
    provenance.converter = "morvale " MORVALE_VERSION;
    return provenance;
}

// Converts the table that the run's argument `argument` names beside itself,
// printing the console messages of that file.
Outcome convertFile(std::size_t argument, Workspace& workspace) {
    RunRecord& record = workspace.record;
    const std::string& name = record.inputs[argument].name;
    CharSource& source = workspace.converter.source;
    if (!source.open(name.c_str())) {
        const int error = errno;
        say(text::kInputNotOpened);
        diagnose(name, std::strerror(error) + hintForMissing(name, error));
        return Outcome::InputNotOpened;
    }
    std::string outputName = name;
    deriveOutputName(outputName);
    std::string conflict = inputConflict(record, source);
    if (conflict.empty()) {
        conflict = outputConflict(record, argument, outputName, source);
    }
    if (!conflict.empty()) {
        closeInput(source, name, record);
        diagnose(name, conflict);
        return Outcome::NotConverted;
    }
    files::Identity input;
    const bool inputKnown = source.identity(input);
    if (workspace.converter.format == VectorFormat::Version2) {
        workspace.converter.provenance = provenanceOf(name);
    }
    progress::start(name);
    const Conversion conversion = convertTable(workspace.converter, outputName.c_str());
    progress::erase();
    if (conversion.outcome == ConversionOutcome::OutputNotOpened) {
        return report(conversion, name, outputName);  // the run ends with the input still open
    }
    closeInput(source, name, record);
    if (conversion.outcome == ConversionOutcome::Converted) {
        recordWritten(record, argument, outputName, inputKnown, input);
    }
    return report(conversion, name, outputName);
}

}  // namespace

namespace {

// Reads the options before the tables, `--format N` or `--format=N`, and
// returns the index of the first table; 0 when an option is wrong, which is
// said on standard error.
int readOptions(int argc, char** argv, VectorFormat& format) {
    const std::size_t length = std::strlen(text::kFormatOption);
    int index = 1;
    while (index < argc && std::strncmp(argv[index], text::kFormatOption, length) == 0 &&
           (argv[index][length] == '\0' || argv[index][length] == '=')) {
        std::string value;
        if (argv[index][length] == '=') {
            value = argv[index] + length + 1;
            index += 1;
        } else {
            value = index + 1 < argc ? argv[index + 1] : "";
            index += 2;
        }
        if (value == "1") {
            format = VectorFormat::Version1;
        } else if (value == "2") {
            format = VectorFormat::Version2;
        } else {
            diagnose(text::kFormatOption, text::badFormat(value));
            return 0;
        }
    }
    return index;
}

// The usage text and the closing block, for a run that names no file.
int showUsage() {
    say(text::kUsage);
    printClosingBlock();
    flushConsole();
    waitForKey();
    return finishRun(0);
}

// Every file the run was given, in order, with its identity as it is now.
void recordArguments(int first, int argc, char** argv, RunRecord& record) {
    for (int index = first; index < argc; ++index) {
        RunRecord::Input input;
        input.name = argv[index];
        input.known = files::identityOf(argv[index], input.identity);
        record.inputs.push_back(input);
    }
}

// Converts every file in turn, then closes the run with the summary; an
// input or output that cannot be opened ends it at once.
int convertAll(Workspace& workspace) {
    const RunRecord& record = workspace.record;
    std::size_t converted = 0;
    for (std::size_t argument = 0; argument < record.inputs.size(); ++argument) {
        switch (convertFile(argument, workspace)) {
        case Outcome::Converted:
            ++converted;
            break;
        case Outcome::NotConverted:
            break;
        case Outcome::InputNotOpened:
        case Outcome::OutputNotOpened:
            // No summary, no closing block; a key wait only where the window
            // would otherwise vanish with the message.
            flushConsole();
            waitForKeyInOwnWindow();
            return finishRun(1);
        }
    }
    say(text::summary(static_cast<int>(converted)));
    printClosingBlock();
    flushConsole();
    waitForKey();
    const bool allConverted = converted == record.inputs.size() && !record.inputCloseFailed;
    return finishRun(allConverted ? 0 : 1);
}

}  // namespace

int run(int argc, char** argv) {
    guardStandardStreams();
    // Answered and done: no closing block and no key wait, as a script that
    // asks expects.
    if (const char* answer = answerTo(argc, argv)) {
        say(answer);
        return finishRun(0);
    }
    interrupts::install();
    VectorFormat format = VectorFormat::Version1;
    const int first = readOptions(argc, argv, format);
    if (first == 0) {
        return finishRun(1);
    }
    if (first >= argc) {
        return showUsage();
    }
    // Default-initialised on purpose: zeroing the token tables would make
    // every page of them resident for nothing.
    const std::unique_ptr<Workspace> workspace(new Workspace);
    workspace->converter.format = format;
    progress::enable(isTerminal(stderr));
    workspace->converter.source.observeBlocks(progress::blockRead);
    recordArguments(first, argc, argv, workspace->record);
    return convertAll(*workspace);
}

}  // namespace morvale
