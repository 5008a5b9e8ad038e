// The driver: the argument loop, the per-file sequence and the console texts.
#include "driver/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/command_line.h"
#include "driver/console.h"
#include "driver/group_commit.h"
#include "driver/progress.h"
#include "driver/run_record.h"
#include "platform/file_system.h"
#include "platform/interrupts.h"
#include "vecfile/conversion.h"
#include "vecfile/output_name.h"

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

constexpr const char* kVectorFileGiven = "a vector file, not a table: left as it is";

// The tables after one that ended the run.
std::string leftUnconverted(std::size_t count, const std::string& first) {
    return count == 1 ? "1 more table not converted: " + first
                      : std::to_string(count) + " more tables not converted, from " + first + " on";
}
}  // namespace text

// A line of the console report: on standard output, or on standard error.
struct ConsoleLine {
    bool error;
    std::string text;
};

// One table's turn in the run, reported in the order of the arguments. Its
// vector file, written whole, waits in the group for its name while later
// tables are converted; what the turn has to say waits with it, so that
// every line still comes in the order it would without.
struct Turn {
    explicit Turn(std::size_t argument) : argument(argument) {}

    const std::size_t argument;
    std::string outputName;
    files::Identity input;
    files::Identity output;
    bool converted = false;          // converted, so far as its file's name goes
    PendingFile file;                // the vector file written whole, until it has its name
    bool handedOver = false;         // `file` waits in the group
    std::vector<ConsoleLine> lines;  // what it says before its group is committed
};

// How far a table is read before the files waiting for their names are
// committed, so that none waits behind a long table.
constexpr long long kLongTable = 4LL << 20;

// The working state of a run: allocated once, reused for every file and row.
struct Workspace final : CharSource::Watcher {
    explicit Workspace(std::vector<std::string> names) : record(std::move(names)) {}

    void beforeWait() override {}
    void afterWait() override {}
    void blockRead(long long read, long long size) override;

    Converter converter;
    RunRecord record;
    // The turns not reported yet, in order: those of the group, and last the
    // one whose table is being read, if any.
    std::deque<Turn> turns;
    bool converting = false;
    std::size_t waiting = 0;  // files of `turns` waiting for their names
    const std::size_t groupSize = morvale::groupSize();
    std::size_t converted = 0;
    // An input would not close: that spoils no vector file, yet must show in
    // the exit status.
    bool inputCloseFailed = false;
    // A new file that could not be removed is still on the disk.
    bool fileLeft = false;
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

// Whether the run ends with the closing block and a key wait (--no-wait
// turns both off, for scripts that run the tool on a terminal).
bool closingWait = true;

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

// Ends a run that went its whole way: the closing block, then the key wait.
void closeConsole() {
    if (closingWait) {
        printClosingBlock();
        flushConsole();
        waitForKey();
    }
    flushConsole();
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

// The warnings on a converted table, in the order of their lines; in the
// first format, with the hint that version 2 reads such tables.
void reportWarnings(const Conversion& conversion, const std::string& name, VectorFormat format) {
    std::vector<std::pair<long, std::string>> lines;
    for (const Warning& warning : conversion.warnings) {
        lines.emplace_back(warning.line, "warning: " + describe(warning, format == VectorFormat::Version1));
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
        diagnose(name, "warning: " + describeGrowth(conversion.grownBy, conversion.lastLineLeftOut));
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

// Opens the table of `turn`'s argument, or says why it cannot be opened.
bool openTable(const std::string& name, Workspace& workspace) {
    if (workspace.converter.source.open(name.c_str())) {
        return true;
    }
    const int error = errno;
    say(text::kInputNotOpened);
    diagnose(name, reasonFor(error) + hintForMissing(name, error));
    return false;
}

// Why the open table of `turn` must not be converted, or an empty text.
std::string conflictOf(Turn& turn, Workspace& workspace) {
    turn.outputName = workspace.record.name(turn.argument);
    deriveOutputName(turn.outputName, endingsOf(workspace.converter.format));
    if (!workspace.converter.source.identity(turn.input)) {
        return std::string("its identity cannot be read (") + std::strerror(errno) +
               "), so it cannot be told apart from the files of this run";
    }
    return workspace.record.conflict(turn.argument, turn.input, turn.outputName);
}

// Says what became of a conversion that did not end in a file written whole.
Outcome reportFailure(const Conversion& conversion, const std::string& name, Turn& turn, Workspace& workspace) {
    reportWarnings(conversion, name, workspace.converter.format);
    const Outcome outcome = report(conversion, name, turn.outputName);
    reportLeftover(workspace.converter.output.leftover(), workspace.converter.output.leftoverError(), workspace);
    return outcome;
}

// Converts the table of `turn`'s argument beside itself, saying what became of
// it. A vector file written whole waits in the turn for its name, and the
// turn's "converted" line with it.
Outcome convertFile(Turn& turn, Workspace& workspace) {
    const std::string& name = workspace.record.name(turn.argument);
    CharSource& source = workspace.converter.source;
    if (workspace.record.isVectorFile(turn.argument)) {
        diagnose(name, text::kVectorFileGiven);
        return Outcome::NotConverted;
    }
    if (!openTable(name, workspace)) {
        return Outcome::InputNotOpened;
    }
    if (const std::string conflict = conflictOf(turn, workspace); !conflict.empty()) {
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
        return reportFailure(conversion, name, turn, workspace);
    }
    reportWarnings(conversion, name, workspace.converter.format);
    turn.output = workspace.converter.output.identity();
    turn.converted = true;
    return Outcome::Converted;
}

// Says what became of the file of `turn`, which its group's commit has
// given its name or removed; `folderError` is its folder's failed sync, or 0.
void reportCommit(Turn& turn, int folderError, Workspace& workspace) {
    const std::string& name = workspace.record.name(turn.argument);
    const int error = turn.file.error() != 0 ? turn.file.error() : folderError;
    if (turn.file.error() == 0) {
        // It has the name, whatever its folder's sync did.
        workspace.record.recordWritten(turn.argument, turn.outputName, turn.output, turn.input);
    }
    if (error != 0) {
        turn.converted = false;
        say(text::kCloseFailed);
        const std::string what = turn.file.error() != 0 ? "cannot write " : "cannot sync the folder of ";
        diagnose(name, notConverted(what + turn.outputName + ": " + std::strerror(error)));
    }
    reportLeftover(turn.file.leftover(), turn.file.leftoverError(), workspace);
}

// Says everything the turn at the front has to say, in order, and ends it.
// The lines of a table being read meanwhile wait still.
void endFirstTurn(int folderError, Workspace& workspace) {
    Turn& turn = workspace.turns.front();
    std::vector<ConsoleLine>* const later = waitingLines;
    waitingLines = &turn.lines;
    if (turn.handedOver) {
        reportCommit(turn, folderError, workspace);
    }
    if (turn.converted) {
        say(text::converted(shownOn(stdout, turn.outputName)));
        ++workspace.converted;
    }
    waitingLines = nullptr;
    sayLines(turn.lines);
    waitingLines = later;
    workspace.turns.pop_front();
}

// Commits the group, the files waiting for their names, and ends every turn
// before the one whose table is being read, in order.
void commitTurns(Workspace& workspace) {
    std::vector<PendingFile*> group;
    for (Turn& turn : workspace.turns) {
        if (turn.handedOver) {
            group.push_back(&turn.file);
        }
    }
    const std::vector<int> folderErrors = commitGroup(group);
    workspace.waiting = 0;
    std::size_t left = workspace.converting ? 1 : 0;
    for (std::size_t file = 0; workspace.turns.size() > left;) {
        endFirstTurn(workspace.turns.front().handedOver ? folderErrors[file++] : 0, workspace);
    }
}

// Once a table is read so far that it is a long one, the files waiting
// behind it are committed.
void Workspace::blockRead(long long read, long long size) {
    progress::blockRead(read, size);
    if (waiting > 0 && read > kLongTable) {
        commitTurns(*this);
    }
}

// Whether the group must be committed before the table of `argument` is
// opened: when it is not a regular file (a FIFO may wait for its writer as
// long as it likes), or when it or its vector file may be one of the files
// waiting for their names under another name than the run could see until
// they have them: the same name in the same folder spelt another way
// (./a.vec, a folder's link, letter case), a link to such a name, or a name
// that found nothing when the run began. The run's record then needs those
// files named first, to see what it would see had each been named before the
// next table was read. A hard link keeps the file it had: it needs nothing.
bool mustCommitBefore(std::size_t argument, const Workspace& workspace) {
    if (workspace.waiting == 0) {
        return false;
    }
    const RunRecord& record = workspace.record;
    std::string outputName = record.name(argument);
    deriveOutputName(outputName, endingsOf(workspace.converter.format));
    if (!record.foundAtStart(argument) || files::examine(record.name(argument).c_str()).kind != files::Kind::Regular ||
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

// The usage text and the closing block, for a run that names no file.
int showUsage() {
    say(text::kUsage);
    closeConsole();
    return finishRun(0);
}

// Converts the table of `argument` in a turn of its own, which waits in the
// group when its file does; commits the group once it is full.
Outcome convertInTurn(std::size_t argument, Workspace& workspace) {
    if (mustCommitBefore(argument, workspace)) {
        commitTurns(workspace);
    }
    workspace.turns.emplace_back(argument);
    Turn& turn = workspace.turns.back();
    // What the turn says waits behind the turns before it.
    waitingLines = &turn.lines;
    workspace.converting = true;
    const Outcome outcome = convertFile(turn, workspace);
    workspace.converting = false;
    waitingLines = nullptr;
    if (turn.file.holdsFile()) {
        turn.handedOver = true;
        ++workspace.waiting;
    }
    if (workspace.waiting == 0 || workspace.waiting >= workspace.groupSize) {
        commitTurns(workspace);
    }
    return outcome;
}

// Ends a run that stopped at a table it could not open, saying how many
// tables after it were left out.
int stopRun(std::size_t argument, Workspace& workspace) {
    commitTurns(workspace);
    const RunRecord& record = workspace.record;
    if (const std::size_t left = record.size() - argument - 1; left > 0) {
        const std::string& first = record.name(argument + 1);
        const std::string line = std::string(kProgram) + ": the run stops here: " + text::leftUnconverted(left, first);
        writeErrorLine(shownOn(stderr, line) + "\n");
    }
    // No summary, no closing block; a key wait only where the window would
    // otherwise vanish with the message.
    flushConsole();
    if (closingWait) {
        waitForKeyInOwnWindow();
    }
    return finishRun(1);
}

// Converts every file in turn, then closes the run with the summary; an
// input or output that cannot be opened ends it at once.
int convertAll(Workspace& workspace) {
    const RunRecord& record = workspace.record;
    for (std::size_t argument = 0; argument < record.size(); ++argument) {
        const Outcome outcome = convertInTurn(argument, workspace);
        if (outcome == Outcome::InputNotOpened || outcome == Outcome::OutputNotOpened) {
            return stopRun(argument, workspace);
        }
    }
    commitTurns(workspace);
    say(text::summary(static_cast<int>(workspace.converted)));
    closeConsole();
    const bool allConverted =
        workspace.converted == record.size() && !workspace.inputCloseFailed && !workspace.fileLeft;
    return finishRun(allConverted ? 0 : 1);
}

}  // namespace

int run(int argc, char** argv) {
    if (!guardStandardStreams()) {
        consoleError = EBADF;
    }
    CommandLine line = readCommandLine(argc, argv);
    if (!line.wrongOption.empty()) {
        diagnose(line.wrongOption, line.whatIsWrong);
        return finishRun(1);
    }
    // Answered and done: no closing block and no key wait, as a script that
    // asks expects.
    if (line.answer != nullptr) {
        say(line.answer);
        return finishRun(0);
    }
    closingWait = line.closingWait;
    interrupts::reportOnInterrupt(sayLeftoverNow);
    interrupts::install();
    if (line.tables.empty()) {
        return showUsage();
    }
    // Default-initialised on purpose: zeroing the token tables would make
    // every page of them resident for nothing.
    const std::unique_ptr<Workspace> workspace(new Workspace(std::move(line.tables)));
    workspace->converter.format = line.format;
    progress::enable(isTerminal(stderr));
    workspace->converter.source.watch(workspace.get());
    return convertAll(*workspace);
}

}  // namespace morvale
