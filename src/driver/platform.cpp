// The driver's platform layer: the single-key wait and interrupt cleanup.
#include "driver/platform.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <initializer_list>

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#else
#include <cerrno>
#include <termios.h>
#include <unistd.h>
#endif

namespace morvale {

namespace {

std::atomic<const char*> removeOnInterrupt{nullptr};

#ifndef _WIN32
// The terminal's settings while the key wait has changed them, so that an
// interruption during the wait can give the terminal back as it was.
termios savedTerminal;
std::atomic<bool> terminalChanged{false};
#endif

extern "C" void onInterrupt(int signal) {
    if (const char* path = removeOnInterrupt.load()) {
#ifdef _WIN32
        _unlink(path);
#else
        unlink(path);
#endif
    }
#ifndef _WIN32
    if (terminalChanged.load()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    }
#endif
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void setRemoveOnInterrupt(const char* path) { removeOnInterrupt.store(path); }

#ifdef _WIN32

void waitForKey() {
    std::fflush(stdout);
    if (_isatty(_fileno(stdin))) {
        _getch();
    }
}

void installInterruptCleanup() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    std::signal(SIGBREAK, onInterrupt);
}

#else

void waitForKey() {
    std::fflush(stdout);
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0) {
        return;
    }
    termios raw = savedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    terminalChanged.store(true);
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char key = 0;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
    // A key such as an arrow sends several bytes; the rest must not reach the
    // shell as typed input.
    tcflush(STDIN_FILENO, TCIFLUSH);
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    terminalChanged.store(false);
}

void installInterruptCleanup() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

#endif

}  // namespace morvale
