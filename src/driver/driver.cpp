// The driver: the argument loop, the per-file sequence and the console texts.
#include "driver/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/console.h"
#include "driver/progress.h"
#include "driver/run_record.h"
#include "platform/file_system.h"
#include "platform/interrupts.h"
#include "vecfile/conversion.h"
#include "vecfile/output_name.h"
#include "vecfile/sync_queue.h"

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
    "               numbers they read exactly (a table with another is refused);\n"
    "               and read tables as today's programs write them: blanks and\n"
    "               TABs, or commas or semicolons (CSV, decimal commas), between\n"
    "               values; # comment lines; names on the comment line above the\n"
    "               rows; no separator line; a line of units under the names.\n"
    "               NAME.csv, NAME.tsv and NAME.dat give NAME.vec too. A table\n"
    "               that would be read otherwise than meant is refused\n"
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
constexpr const char* kFormatMissing = "needs a value: 1 or 2 (for help: morvale --help)";
std::string leftOut(long samples) {
    return "warning: " + std::to_string(samples) +
           (samples == 1 ? " sample" : " samples") +
           " with an empty abscissa or value left out, as the readers of version 2 files take no empty "
           "number; rows shorter than the header, or empty cells?";
}

// Hints after the reason a named file could not be opened, for the slips
// that are easy to make: asking for help as other tools are asked, and
// naming a table without its .txt.
constexpr const char* kHelpHint = " (for help: morvale --help)";
std::string didYouMean(const std::string& name) { return " (did you mean " + name + "?)"; }
}  // namespace text

// A line of the console report: on standard output, or on standard error.
struct ConsoleLine {
    bool error;
    std::string text;
};

// One table's turn in the run, reported in the order of the arguments. Its
// vector file, written whole, may wait to take its name (its sync runs
// meanwhile) while later tables are converted; what the turn has to say waits
// with it, so that every line still comes in the order it would without.
struct Turn {
    explicit Turn(std::size_t argument) : argument(argument) {}

    const std::size_t argument;
    std::string outputName;
    files::Identity input;
    files::Identity output;
    bool converted = false;          // converted, so far as its file's name goes
    PendingFile file;                // the vector file written whole, until it has its name
    bool handedOver = false;         // `file` was handed over to be finished
    SyncQueue::Ticket ticket = SyncQueue::kDone;
    std::vector<ConsoleLine> lines;  // what it says before its file takes its name
};

// How many written files may wait for their names at once, and how many of
// their syncs may be under way. Each holds an open file; an interruption
// removes every one.
constexpr std::size_t kWaitingFiles = 32;
constexpr int kSyncThreads = 16;
// The files waiting and the one being written.
static_assert(kWaitingFiles + 1 <= static_cast<std::size_t>(interrupts::kFilesAtOnce),
              "an interruption finds them all");

void onFileFinished(void* context);

// The working state of a run: allocated once, reused for every file and row.
//
// The run's state, the console and the progress line belong to the thread
// that holds `state`. The main thread holds it but while it waits: for an
// input (a pipe's writer may take minutes), or for a file to be finished.
// Meanwhile a sync thread that has given a file its name takes it to report
// that file in its place, so that what is done shows when it is done.
struct Workspace final : CharSource::Watcher {
    explicit Workspace(std::vector<std::string> names) : record(std::move(names)) {}

    void beforeWait() override { held.unlock(); }
    void afterWait() override { held.lock(); }
    void blockRead(long long read, long long size) override;

    std::mutex state;
    Converter converter;
    RunRecord record;
    std::deque<Turn> turns;  // reported in this order, the first when its file has its name
    // After the turns: its threads end before their files go.
    SyncQueue syncs{kSyncThreads, onFileFinished, this};
    const Turn* converting = nullptr;  // the turn whose table is being read
    std::size_t converted = 0;
    // An input would not close: that spoils no vector file, yet must show in
    // the exit status.
    bool inputCloseFailed = false;
    // A new file that could not be removed is still on the disk.
    bool fileLeft = false;
    // The main thread's hold on `state`. Last, so that it lets go before the
    // sync threads are ended: one may be waiting for it.
    std::unique_lock<std::mutex> held{state};
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

// Where the lines of a turn that must wait go, or nullptr: then said at once.
std::vector<ConsoleLine>* waitingLines = nullptr;

void say(const std::string& text) {
    if (waitingLines != nullptr) {
        waitingLines->push_back(ConsoleLine{false, text});
        return;
    }
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

// Writes a finished line to standard error, after what standard output holds,
// so that a console shows both in the order they happened.
void writeErrorLine(const std::string& line) {
    progress::erase();
    flushConsole();
    writeConsole(stderr, line);
    std::fflush(stderr);
}

// One line on standard error: morvale: SUBJECT: what happened.
void diagnose(const std::string& subject, const std::string& what) {
    const std::string line = shownOn(stderr, std::string(kProgram) + ": " + subject + ": " + what) + "\n";
    if (waitingLines != nullptr) {
        waitingLines->push_back(ConsoleLine{true, line});
        return;
    }
    writeErrorLine(line);
}

// Says the lines of a turn that waited, in their order, and at once, so that
// an interruption later in the run cannot lose them.
void sayLines(const std::vector<ConsoleLine>& lines) {
    for (const ConsoleLine& line : lines) {
        if (line.error) {
            writeErrorLine(line.text);
        } else {
            say(line.text);
        }
    }
    flushConsole();
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
void closeInput(CharSource& source, const std::string& name, Workspace& workspace) {
    if (!source.close()) {
        const int error = errno;
        say(text::kCloseFailed);
        diagnose(name, std::string("cannot close: ") + std::strerror(error));
        workspace.inputCloseFailed = true;
    }
}

// The system's reason, or what the tool makes of it where the system's own
// words would mislead.
std::string reasonFor(int error) {
    return error == files::kNotRegularFile ? "not a regular file" : std::strerror(error);
}

// Names the new file that could not be removed, which is not a vector file.
void reportLeftover(const std::string& leftover, int error, Workspace& workspace) {
    if (!leftover.empty()) {
        diagnose(leftover, std::string("cannot remove this unfinished file: ") + std::strerror(error));
        workspace.fileLeft = true;
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
    if (conversion.grownBy > 0) {
        diagnose(name, "warning: " + describeGrowth(conversion.grownBy));
    }
}

// Says what became of a table whose conversion failed, and whether the run
// goes on.
Outcome report(const Conversion& conversion, const std::string& name, const std::string& outputName) {
    switch (conversion.outcome) {
    case ConversionOutcome::Converted:
        return Outcome::Converted;  // said once its file has its name
    case ConversionOutcome::Refused: {
        const std::string token = conversion.refusedText.empty() ? "" : "'" + conversion.refusedText + "' is ";
        diagnose(name, notConverted("line " + std::to_string(conversion.refusal.line) + ": " + token +
                                    describe(conversion.refusal.reason)));
        return Outcome::NotConverted;
    }
    case ConversionOutcome::ReadFailed:
        diagnose(name, notConverted(std::string("read error: ") + std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::Shrank:
        diagnose(name, notConverted("read error: the file got shorter while it was read"));
        return Outcome::NotConverted;
    case ConversionOutcome::WriteFailed:
        say(text::kCloseFailed);
        diagnose(name, notConverted("cannot write " + outputName + ": " + std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::MetadataNotKept:
        say(text::kCloseFailed);
        diagnose(name, notConverted("cannot keep the owner, permissions, ACL or attributes of " + outputName + ": " +
                                    std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::OutputNotOpened:
        break;
    }
    say(text::kOutputNotOpened);
    diagnose(outputName, reasonFor(conversion.error));
    return Outcome::OutputNotOpened;
}

// The endings that name a table: version 2 reads the data files of today's
// programs too, and names their vector files as it names a text table's.
TableEndings endingsOf(VectorFormat format) {
    return format == VectorFormat::Version2 ? TableEndings::TextAndData : TableEndings::Text;
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
    Provenance provenance;
    provenance.runId = tableStem(name, TableEndings::TextAndData) + "-" + stamp + "-" + unique;
    provenance.table = name;
    provenance.converted = converted;
    provenance.converter = "morvale " MORVALE_VERSION;
    return provenance;
}

// Converts the table of `turn`'s argument beside itself, saying what became of
// it. A vector file written whole waits in the turn for its name, and the
// turn's "converted" line with it.
Outcome convertFile(Turn& turn, Workspace& workspace) {
    RunRecord& record = workspace.record;
    const std::string& name = record.name(turn.argument);
    CharSource& source = workspace.converter.source;
    if (!source.open(name.c_str())) {
        const int error = errno;
        say(text::kInputNotOpened);
        diagnose(name, reasonFor(error) + hintForMissing(name, error));
        return Outcome::InputNotOpened;
    }
    turn.outputName = name;
    deriveOutputName(turn.outputName, endingsOf(workspace.converter.format));
    std::string conflict;
    if (!source.identity(turn.input)) {
        conflict = std::string("its identity cannot be read (") + std::strerror(errno) +
                   "), so it cannot be told apart from the files of this run";
    } else {
        conflict = record.conflict(turn.argument, turn.input, turn.outputName);
    }
    if (!conflict.empty()) {
        closeInput(source, name, workspace);
        diagnose(name, notConverted(conflict));
        return Outcome::NotConverted;
    }
    if (workspace.converter.format == VectorFormat::Version2) {
        workspace.converter.provenance = provenanceOf(name);
    }
    progress::start(name);
    const Conversion conversion = convertTable(workspace.converter, turn.outputName.c_str(), &turn.file);
    progress::erase();
    if (conversion.outcome == ConversionOutcome::OutputNotOpened) {
        return report(conversion, name, turn.outputName);  // the run ends with the input still open
    }
    closeInput(source, name, workspace);
    if (conversion.outcome != ConversionOutcome::Converted) {
        reportWarnings(conversion, name);
        const Outcome outcome = report(conversion, name, turn.outputName);
        reportLeftover(workspace.converter.output.leftover(), workspace.converter.output.leftoverError(), workspace);
        return outcome;
    }
    reportWarnings(conversion, name);
    turn.output = workspace.converter.output.identity();
    turn.converted = true;
    return Outcome::Converted;
}

// Whether the turn's file, if it wrote one, is finished: it has its name or
// is gone.
bool finished(const Turn& turn, Workspace& workspace) {
    return !turn.handedOver || workspace.syncs.done(turn.ticket);
}

// Ends the turn at the front, whose file is finished, saying everything the
// turn has to say. A turn may end while a later table is being read: what
// that table says meanwhile waits still.
void endFirstTurn(Workspace& workspace) {
    Turn& turn = workspace.turns.front();
    const std::string& name = workspace.record.name(turn.argument);
    std::vector<ConsoleLine>* const later = waitingLines;
    waitingLines = &turn.lines;
    if (turn.handedOver) {
        if (turn.file.error() != 0) {
            turn.converted = false;
            say(text::kCloseFailed);
            diagnose(name, notConverted("cannot write " + turn.outputName + ": " + std::strerror(turn.file.error())));
        }
        reportLeftover(turn.file.leftover(), turn.file.leftoverError(), workspace);
    }
    if (turn.converted) {
        workspace.record.recordWritten(turn.argument, turn.outputName, turn.output, turn.input);
        say(text::converted(shownOn(stdout, turn.outputName)));
        ++workspace.converted;
    }
    waitingLines = nullptr;
    sayLines(turn.lines);
    waitingLines = later;
    workspace.turns.pop_front();
}

// Ends the turns at the front whose files are finished, up to the one whose
// table is being read, if any.
void endFinishedTurns(Workspace& workspace) {
    while (!workspace.turns.empty() && &workspace.turns.front() != workspace.converting &&
           finished(workspace.turns.front(), workspace)) {
        endFirstTurn(workspace);
    }
}

// A sync thread has finished a file: the turns it lets end are reported now,
// even while the main thread waits for an input.
void onFileFinished(void* context) {
    Workspace& workspace = *static_cast<Workspace*>(context);
    const std::lock_guard<std::mutex> lock(workspace.state);
    endFinishedTurns(workspace);
}

// After each block of a table, the files finished meanwhile are reported, so
// that a long table keeps none of them waiting.
void Workspace::blockRead(long long read, long long size) {
    progress::blockRead(read, size);
    endFinishedTurns(*this);
}

// Ends turns until no more than `left` wait, in order; on the main thread,
// which lets the run's state go while it waits for a file to be finished.
void endTurnsDownTo(std::size_t left, Workspace& workspace) {
    while (workspace.turns.size() > left) {
        const SyncQueue::Ticket ticket = workspace.turns.front().ticket;
        if (!workspace.syncs.done(ticket)) {
            workspace.held.unlock();
            workspace.syncs.wait(ticket);
            workspace.held.lock();
        }
        endFinishedTurns(workspace);  // unless a sync thread has ended it meanwhile
    }
}

// Ends every turn that waits, in order.
void endTurns(Workspace& workspace) { endTurnsDownTo(0, workspace); }

// Whether the table of `argument`, or its vector file, may be one of the
// files still waiting for their names, under another name than the run could
// see until they have them: the same name in the same folder spelt another
// way (./a.vec, a folder's link, letter case), a link to such a name, or a
// name that found nothing when the run began. The run's record then needs
// those files named first, to see what it would see had each been named
// before the next table was read. A hard link keeps the file it had: it needs
// nothing.
bool mayMeetWaitingFiles(std::size_t argument, const Workspace& workspace) {
    if (workspace.turns.empty()) {
        return false;
    }
    const RunRecord& record = workspace.record;
    std::string outputName = record.name(argument);
    deriveOutputName(outputName, endingsOf(workspace.converter.format));
    if (!record.foundAtStart(argument) || files::examine(record.name(argument).c_str()).kind == files::Kind::SymbolicLink ||
        files::examine(outputName.c_str()).kind == files::Kind::SymbolicLink) {
        return true;
    }
    for (const Turn& turn : workspace.turns) {
        if (turn.handedOver && (files::mayBeSameName(turn.outputName, record.name(argument)) ||
                                      files::mayBeSameName(turn.outputName, outputName))) {
            return true;
        }
    }
    return false;
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
        } else if (index + 1 < argc) {
            value = argv[index + 1];
            index += 2;
        } else {
            diagnose(text::kFormatOption, text::kFormatMissing);
            return 0;
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

// Converts every file in turn, then closes the run with the summary; an
// input or output that cannot be opened ends it at once.
int convertAll(Workspace& workspace) {
    const RunRecord& record = workspace.record;
    for (std::size_t argument = 0; argument < record.size(); ++argument) {
        if (mayMeetWaitingFiles(argument, workspace)) {
            endTurns(workspace);
        }
        workspace.turns.emplace_back(argument);
        Turn& turn = workspace.turns.back();
        // What the turn says waits behind the turns before it.
        waitingLines = &turn.lines;
        workspace.converting = &turn;
        const Outcome outcome = convertFile(turn, workspace);
        workspace.converting = nullptr;
        waitingLines = nullptr;
        if (turn.file.holdsFile()) {
            turn.handedOver = true;
            // The last table of a run alone has nothing to overlap its sync with.
            if (workspace.turns.size() == 1 && argument + 1 == record.size()) {
                turn.file.finish();
            } else {
                turn.ticket = workspace.syncs.start(turn.file);
            }
        }
        endFinishedTurns(workspace);
        endTurnsDownTo(kWaitingFiles, workspace);
        if (outcome == Outcome::InputNotOpened || outcome == Outcome::OutputNotOpened) {
            endTurns(workspace);
            // No summary, no closing block; a key wait only where the window
            // would otherwise vanish with the message.
            flushConsole();
            waitForKeyInOwnWindow();
            return finishRun(1);
        }
    }
    endTurns(workspace);
    say(text::summary(static_cast<int>(workspace.converted)));
    printClosingBlock();
    flushConsole();
    waitForKey();
    const bool allConverted =
        workspace.converted == record.size() && !workspace.inputCloseFailed && !workspace.fileLeft;
    return finishRun(allConverted ? 0 : 1);
}

}  // namespace

int run(int argc, char** argv) {
    if (!guardStandardStreams()) {
        consoleError = EBADF;
    }
    // Answered and done: no closing block and no key wait, as a script that
    // asks expects.
    if (const char* answer = answerTo(argc, argv)) {
        say(answer);
        return finishRun(0);
    }
    interrupts::reportOnInterrupt(sayLeftoverNow);
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
    const std::unique_ptr<Workspace> workspace(new Workspace(std::vector<std::string>(argv + first, argv + argc)));
    workspace->converter.format = format;
    progress::enable(isTerminal(stderr));
    workspace->converter.source.watch(workspace.get());
    return convertAll(*workspace);
}

}  // namespace morvale
