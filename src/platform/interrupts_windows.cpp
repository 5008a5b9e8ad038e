// Interruptions on Windows: the C runtime's signals. Ctrl-C and Ctrl-Break
// arrive on a thread of their own, which waits while the tool holds them
// back.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/interrupts.h"

namespace morvale::interrupts {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};

// How many holds are in force: only the main thread holds, and briefly.
std::atomic<int> holds{0};

// Cleans up once no file is between its creation, renaming or removal and
// its note here, then ends the process by the same signal.
extern "C" void onInterrupt(int signal) {
    while (holds.load() > 0) {
        Sleep(1);
    }
    cleanUp();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void install() {
    for (int signal : kSignals) {
        // A signal the caller chose to ignore stays ignored.
        if (std::signal(signal, onInterrupt) == SIG_IGN) {
            std::signal(signal, SIG_IGN);
        }
    }
}

void hold() { holds.fetch_add(1); }
void release() { holds.fetch_sub(1); }

void waitForTheEnd() {
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace morvale::interrupts
