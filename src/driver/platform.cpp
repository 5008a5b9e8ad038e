// The driver's platform layer: the single-key wait and interrupt cleanup.
#include "driver/platform.h"

#include "platform/file_system.h"
#include "platform/interrupts.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace morvale {

namespace {

#ifdef _WIN32
// The console's input mode while the key wait has changed it, so that an
// interruption during the wait can give the console back as it was.
std::atomic<DWORD> savedConsoleMode{0};
std::atomic<bool> consoleChanged{false};
#else
// The terminal's settings while the key wait has changed them, so that an
// interruption during the wait can give the terminal back as it was.
termios savedTerminal;
std::atomic<bool> terminalChanged{false};
#endif

extern "C" void onInterrupt(int signal) {
    interrupts::cleanUp();
#ifdef _WIN32
    if (consoleChanged.load()) {
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), savedConsoleMode.load());
    }
#else
    if (terminalChanged.load()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    }
#endif
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

#ifdef _WIN32

namespace {

// Keys that only change what another key means; pressing one alone is no
// answer to "press any key".
bool isModifier(WORD key) {
    switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::vector<std::string> argumentsOf(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int index = 0; index < argc; ++index) {
        std::string argument = files::utf8FromWide(argv[index]);
        if (index > 0 && argument.find_first_of("*?") != std::string::npos) {
            const std::vector<std::string> matching = files::filesMatching(argument);
            if (!matching.empty()) {
                arguments.insert(arguments.end(), matching.begin(), matching.end());
                continue;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

bool writeConsole(std::FILE* stream, const std::string& text) {
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    std::wstring wide;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode) ||
        !files::wideFromUtf8(text.c_str(), wide)) {
        return std::fputs(text.c_str(), stream) != EOF;
    }
    // What the stream holds must come first.
    if (std::fflush(stream) != 0) {
        return false;
    }
    const wchar_t* at = wide.c_str();
    std::size_t left = wide.size();
    while (left > 0) {
        const DWORD part = left > 8192 ? 8192 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteConsoleW(handle, at, part, &written, nullptr) || written == 0) {
            errno = EIO;
            return false;
        }
        at += written;
        left -= written;
    }
    return true;
}

void waitForKeyInOwnWindow() {
    // A console that Explorer opened for the tool lists the tool alone; one
    // where the user typed the command lists their shell too.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        waitForKey();
    }
}

void waitForKey() {
    std::fflush(stdout);
    // Only a console has a mode; a file, a pipe or NUL does not, so scripts
    // never wait (the C runtime's _isatty also says yes for NUL).
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) {
        return;
    }
    savedConsoleMode.store(mode);
    consoleChanged.store(true);
    // Keeps processed input on, so that Ctrl-C still interrupts the wait.
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
    INPUT_RECORD record;
    DWORD count = 0;
    while (ReadConsoleInputA(input, &record, 1, &count) && count == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            !isModifier(record.Event.KeyEvent.wVirtualKeyCode)) {
            break;
        }
    }
    // The key's release and anything typed with it must not reach the shell.
    FlushConsoleInputBuffer(input);
    SetConsoleMode(input, mode);
    consoleChanged.store(false);
}

// The C runtime gives a program without a console streams that fail
// harmlessly; they never share a handle with a file the tool opens.
void guardStandardStreams() {}

void installInterruptCleanup() {
    for (int signal : interrupts::kSignals) {
        // A signal the caller chose to ignore stays ignored.
        if (std::signal(signal, onInterrupt) == SIG_IGN) {
            std::signal(signal, SIG_IGN);
        }
    }
}

#else

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

void guardStandardStreams() {
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) < 0 && errno == EBADF) {
            const int opened = open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != stream) {
                close(opened);  // the lowest free descriptor was another one: nothing to guard
            }
        }
    }
}

void installInterruptCleanup() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : interrupts::kSignals) {
        struct sigaction previous = {};
        // A signal the caller chose to ignore (nohup, a script's background
        // job) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    // A reader of the console report that has gone, and a file-size limit,
    // become ordinary write failures: reported, and the earlier vector file
    // kept, instead of a silent death.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

#endif

}  // namespace morvale
