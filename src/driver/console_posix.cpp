// The console on POSIX systems.
#include "driver/console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/interrupts.h"

namespace morvale {

namespace {

// The terminal's settings before the key wait changed them, so that an
// interruption during the wait can give the terminal back as it was.
termios savedTerminal;

void restoreTerminal() { tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal); }

}  // namespace

bool writeConsole(std::FILE* stream, const std::string& text) { return std::fputs(text.c_str(), stream) != EOF; }

void waitForKeyInOwnWindow() {}

void waitForKey() {
    std::fflush(stdout);
    // A process in the background of its terminal would be stopped by
    // changing the terminal's settings: only the foreground waits.
    if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) != getpgrp() ||
        tcgetattr(STDIN_FILENO, &savedTerminal) != 0) {
        return;
    }
    termios raw = savedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    interrupts::undoOnInterrupt(restoreTerminal);
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char key = 0;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
    // A key such as an arrow sends several bytes; the rest must not reach the
    // shell as typed input.
    tcflush(STDIN_FILENO, TCIFLUSH);
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    interrupts::undoOnInterrupt(nullptr);
}

bool guardStandardStreams() {
    bool outputOpen = true;
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) < 0 && errno == EBADF) {
            outputOpen = outputOpen && stream != STDOUT_FILENO;
            const int opened = open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != stream) {
                close(opened);  // the lowest free descriptor was another one: nothing to guard
            }
        }
    }
    return outputOpen;
}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void writeErrorNow(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t count = write(STDERR_FILENO, bytes, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
    }
}

}  // namespace morvale
