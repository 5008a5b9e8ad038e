// The run itself: the command line read, then usage or every table in turn,
// the summary and the exit status.
#include "driver/driver.h"

#include <memory>
#include <string>
#include <utility>

#include "driver/batch_turns.h"
#include "driver/command_line.h"
#include "driver/console.h"
#include "driver/console_report.h"
#include "driver/console_texts.h"
#include "driver/progress.h"
#include "platform/interrupts.h"

namespace morvale {

namespace {

// The usage text and the closing block, for a run that names no file.
int showUsage() {
    say(text::kUsage);
    closeConsole();
    return finishRun(0);
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
    closeConsoleEarly();
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
    guardConsole();
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
    setClosingWait(line.closingWait);
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
