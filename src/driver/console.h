// What only the executable needs from the system besides files: the
// console's streams and its key wait, and on Windows the command line.
#ifndef MORVALE_DRIVER_CONSOLE_H
#define MORVALE_DRIVER_CONSOLE_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace morvale {

#ifdef _WIN32
// The program's arguments in UTF-8, each one holding `*` or `?` replaced by
// the files it matches (or kept when none does), as a shell would have done:
// Windows leaves expanding patterns to each program.
std::vector<std::string> argumentsOf(int argc, wchar_t** argv);
#endif

// Writes UTF-8 text to standard output or standard error. A Windows console
// is given UTF-16, so that every name reads right whatever its code page; a
// file or a pipe gets the bytes. False, with errno set, when it failed.
bool writeConsole(std::FILE* stream, const std::string& text);

// `text`, which holds names, as standard output or standard error (`stream`)
// must show it. On a terminal or console every control character (a byte
// below 0x20, and 0x7F) is escaped as C writes it (\n, \x1b), so that a
// name can neither fake a line of the report nor send the terminal a
// command; a file or a pipe gets the bytes as they are, which scripts rely
// on. The console's own texts hold no control character but line ends, which
// are not passed here.
std::string shownOn(std::FILE* stream, const std::string& text);

// Says on standard error that the file `name` could not be removed, shown as
// shownOn() shows it. Safe to call from a signal handler.
void sayLeftoverNow(const char* name);

// Whether standard output or standard error (`stream`) is a terminal or
// console, where names are shown escaped.
bool isTerminal(std::FILE* stream);

// Writes to standard error at once, bypassing its buffer. Safe to call from
// a signal handler.
void writeErrorNow(const char* bytes, std::size_t size);

// After a run that ends early: waits for one key as waitForKey() does, but
// only on Windows when the console window is the tool's alone (it was started
// from Explorer), which would otherwise close before its message is read.
void waitForKeyInOwnWindow();

// Waits for one key press, read without echo and without waiting for Enter.
// Does nothing when standard input is not a terminal, or the process is not
// in its terminal's foreground, so that scripts and pipes never hang. An
// interruption during the wait gives the terminal back as it was.
void waitForKey();

// Makes sure standard input, output and error are open (on /dev/null when
// they were closed), so that no file the tool opens can take their place and
// receive its console report. False when standard output was closed: the
// report then reaches no one, which the run must say.
bool guardStandardStreams();

}  // namespace morvale

#endif
