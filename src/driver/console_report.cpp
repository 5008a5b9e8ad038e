// The console report of a run.
#include "driver/console_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/console.h"
#include "driver/console_texts.h"
#include "driver/progress.h"

namespace morvale {

namespace {

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

}  // namespace

void guardConsole() {
    if (!guardStandardStreams()) {
        consoleError = EBADF;
    }
}

void setClosingWait(bool wait) { closingWait = wait; }

std::vector<ConsoleLine>* holdLinesIn(std::vector<ConsoleLine>* lines) {
    std::vector<ConsoleLine>* const before = waitingLines;
    waitingLines = lines;
    return before;
}

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

void writeErrorLine(const std::string& line) {
    progress::erase();
    flushConsole();
    writeConsole(stderr, line);
    std::fflush(stderr);
}

void diagnose(const std::string& subject, const std::string& what) {
    const std::string line = shownOn(stderr, std::string(kProgram) + ": " + subject + ": " + what) + "\n";
    if (waitingLines != nullptr) {
        waitingLines->push_back(ConsoleLine{true, line});
        return;
    }
    writeErrorLine(line);
}

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

void closeConsole() {
    if (closingWait) {
        printClosingBlock();
        flushConsole();
        waitForKey();
    }
    flushConsole();
}

void closeConsoleEarly() {
    flushConsole();
    if (closingWait) {
        waitForKeyInOwnWindow();
    }
}

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

}  // namespace morvale
