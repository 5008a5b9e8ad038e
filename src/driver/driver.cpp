// The driver: the argument loop, the per-file sequence and the console texts.
#include "driver/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "driver/platform.h"
#include "vecfile/output_name.h"

namespace morvale {

namespace {

// The two people to contact, as the closing block names them.
struct Author {
    const char* name;
    const char* email;
};
constexpr Author kAuthors[] = {
    {"MORVALE maintainers", "maintainers@morvale.example"},
    {"MORVALE support", "support@morvale.example"},
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
    flushConsole();
    writeConsole(stderr, std::string(kProgram) + ": " + subject + ": " + what + "\n");
    std::fflush(stderr);
}

// The two requests answered instead of a conversion, and their answers. They
// count only as the sole argument, so that every run that names a table
// still converts it: a table named --help is given as ./--help.
constexpr const char* kHelpRequest = "--help";
constexpr const char* kVersionRequest = "--version";
constexpr const char* kHelpText =
    "Usage: morvale TABLE...\n"
    "Converts each text table into a vector file beside it: NAME.txt gives\n"
    "NAME.vec, any other name gets .vec appended. On Windows, tables may also be\n"
    "dropped on the program's icon.\n"
    "\n"
    "  table        a header, a line of - or =, then rows of blank-separated values\n"
    "  vector file  one declaration per data column, then one sample line per value\n"
    "\n"
    "  --help       show this text and end\n"
    "  --version    show the version and end\n"
    "Each only as the sole argument; a table named --help is given as ./--help.\n"
    "\n"
    "Exit status: 0 when every table was converted, 1 otherwise.\n"
    "The manual: man morvale (on Windows, README.txt beside morvale.exe).\n";
constexpr const char* kVersionText = "morvale " MORVALE_VERSION "\n";

// The answer to a request for help or for the version, or nullptr when the
// arguments name tables.
const char* answerTo(int argc, char** argv) {
    if (argc != 2) {
        return nullptr;
    }
    if (std::strcmp(argv[1], kHelpRequest) == 0) {
        return kHelpText;
    }
    if (std::strcmp(argv[1], kVersionRequest) == 0) {
        return kVersionText;
    }
    return nullptr;
}

void printUsage() {
    say("Use: MORVALE file_name1 [file_name2 file_name3 ..]\n");
    say("     or drag and drop all the desired files to the program icon in Windows\n\n");
}

void printClosingBlock() {
    say("Tool made by:\n\n");
    for (const Author& author : kAuthors) {
        char line[128];
        std::snprintf(line, sizeof line, "%-31semail: %s\n", author.name, author.email);
        say(line);
    }
    say("\n");
    say("27/03/2003      MORVALE v1.0 \n\n");
    say("Press anykey to continue \n\n");
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

// Why reading a table failed, or an empty text: a refusal, else a read error.
std::string readingFailure(const Refusal& refusal, int readError) {
    if (refusal) {
        return notConverted("line " + std::to_string(refusal.line) + ": " + refusal.reason);
    }
    if (readError != 0) {
        return notConverted(std::string("read error: ") + std::strerror(readError));
    }
    return std::string();
}

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

// Closes the input; a failure is said but spoils nothing already read.
void closeInput(CharSource& source, const std::string& name, RunRecord& record) {
    if (!source.close()) {
        const int error = errno;
        say("Problemas al cerrar el fichero\n");
        diagnose(name, std::string("cannot close: ") + std::strerror(error));
        record.troubled = true;
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

std::string outputOpenReason(int error) {
    return error == VectorFile::kNotRegularFile ? "not a regular file" : std::strerror(error);
}

}  // namespace

Refusal writeVectorFile(CharSource& source, char& current, const HeaderInfo& header, RowTable& row,
                        VectorFile& output) {
    writeDeclarations(output, header);
    skipSeparator(source, current);
    current = source.next();
    while (!source.atEnd()) {
        if (Refusal refusal = readRow(source, current, header, row)) {
            return refusal;
        }
        writeSamples(output, header, row);
        if (output.failed()) {
            break;  // nothing more can be written; reading on would be wasted
        }
        current = source.next();
    }
    return Refusal{};
}

Outcome convertFile(std::size_t argument, Workspace& workspace) {
    RunRecord& record = workspace.record;
    const std::string& name = record.inputs[argument].name;
    CharSource& source = workspace.source;
    if (!source.open(name.c_str())) {
        const int error = errno;
        say("Error opening file.\n");
        diagnose(name, std::strerror(error));
        return Outcome::InputNotOpened;
    }
    char current = 0;
    // Whatever is refused before the output is opened leaves everything on
    // disk as it was.
    const Refusal headerRefusal = readHeader(source, current, workspace.header);
    std::string failure = inputConflict(record, source);
    if (failure.empty()) {
        failure = readingFailure(headerRefusal, source.readErrno());
    }
    std::string outputName = name;
    deriveOutputName(outputName);
    if (failure.empty()) {
        failure = outputConflict(record, argument, outputName, source);
    }
    files::Identity input;
    const bool inputKnown = source.identity(input);
    if (!failure.empty()) {
        closeInput(source, name, record);
        diagnose(name, failure);
        return Outcome::NotConverted;
    }

    VectorFile& output = workspace.output;
    // Until the new file has the vector file's name, an interruption removes
    // it; none may come between its creation and its naming here. The text
    // stays valid, and empty once the file has its name, until the next file
    // is opened.
    holdInterrupts();
    const bool opened = output.open(outputName.c_str());
    const int openError = errno;
    setRemoveOnInterrupt(opened ? output.temporaryName().c_str() : nullptr);
    releaseInterrupts();
    if (!opened) {
        say("No se puede abrir el fichero.\n");
        diagnose(outputName, outputOpenReason(openError));
        return Outcome::OutputNotOpened;
    }
    const Refusal refusal = writeVectorFile(source, current, workspace.header, workspace.row, output);
    const int readError = source.readErrno();
    closeInput(source, name, record);
    failure = readingFailure(refusal, readError);
    if (!failure.empty()) {
        output.abandon();
    } else if (!output.close()) {
        say("Problemas al cerrar el fichero\n");
        failure = notConverted("cannot write " + outputName + ": " + std::strerror(output.error()));
    }
    setRemoveOnInterrupt(nullptr);
    if (!failure.empty()) {
        diagnose(name, failure);
        return Outcome::NotConverted;
    }
    recordWritten(record, argument, outputName, inputKnown, input);
    sayNow("File " + outputName + " converted\n");
    return Outcome::Converted;
}

int run(int argc, char** argv) {
    guardStandardStreams();
    // Answered and done: no closing block and no key wait, as a script that
    // asks expects.
    if (const char* answer = answerTo(argc, argv)) {
        say(answer);
        return finishRun(0);
    }
    installInterruptCleanup();
    if (argc <= 1) {
        printUsage();
        printClosingBlock();
        flushConsole();
        waitForKey();
        return finishRun(0);
    }
    // Default-initialised on purpose: zeroing the token tables would make
    // every page of them resident for nothing.
    const std::unique_ptr<Workspace> workspace(new Workspace);
    RunRecord& record = workspace->record;
    for (int index = 1; index < argc; ++index) {
        RunRecord::Input input;
        input.name = argv[index];
        input.known = files::identityOf(argv[index], input.identity);
        record.inputs.push_back(input);
    }
    int converted = 0;
    for (std::size_t argument = 0; argument < record.inputs.size(); ++argument) {
        switch (convertFile(argument, *workspace)) {
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
    say("\t" + std::to_string(converted) + " File(s) converted succesfully\n\n");
    printClosingBlock();
    flushConsole();
    waitForKey();
    const bool allConverted = converted == argc - 1 && !record.troubled;
    return finishRun(allConverted ? 0 : 1);
}

}  // namespace morvale
