// The console report of a run: its lines on standard output and standard
// error in the order things happened, the lines of a table that must wait
// for the tables before it, the closing block and key wait, and the exit
// status, which a report that did not reach its reader turns into failure.
#ifndef MORVALE_DRIVER_CONSOLE_REPORT_H
#define MORVALE_DRIVER_CONSOLE_REPORT_H

#include <string>
#include <vector>

namespace morvale {

constexpr const char* kProgram = "morvale";

// A line of the console report: on standard output, or on standard error.
struct ConsoleLine {
    bool error;
    std::string text;
};

// Makes sure the standard streams are open; a closed standard output is a
// report that reaches no one, which the run must say.
void guardConsole();

// Whether the run ends with the closing block and a key wait (--no-wait
// turns both off, for scripts that run the tool on a terminal).
void setClosingWait(bool wait);

// From now on, what say() and diagnose() are given waits in `lines`, or is
// said at once when it is nullptr. Returns where it waited until now.
std::vector<ConsoleLine>* holdLinesIn(std::vector<ConsoleLine>* lines);

// A text of the report on standard output.
void say(const std::string& text);

// One line on standard error: morvale: SUBJECT: what happened.
void diagnose(const std::string& subject, const std::string& what);

// Writes a finished line to standard error, after what standard output holds,
// so that a console shows both in the order they happened.
void writeErrorLine(const std::string& line);

void flushConsole();

// Says the lines of a turn that waited, in their order, and at once, so that
// an interruption later in the run cannot lose them.
void sayLines(const std::vector<ConsoleLine>& lines);

// Ends a run that went its whole way: the closing block, then the key wait.
void closeConsole();

// Ends a run that stopped early: no closing block; a key wait only where the
// window would otherwise vanish with the message.
void closeConsoleEarly();

// The exit status once the console report is complete: a report that could
// not be written turns success into failure, and is said where it can be.
int finishRun(int status);

}  // namespace morvale

#endif
