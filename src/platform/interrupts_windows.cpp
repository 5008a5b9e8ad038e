// Interruptions on Windows: the C runtime's signals. Ctrl-C and Ctrl-Break
// arrive on a thread of their own, which nothing can hold back.
#include <windows.h>

#include <csignal>

#include "platform/interrupts.h"

namespace morvale::interrupts {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};

// Cleans up, then ends the process by the same signal.
extern "C" void onInterrupt(int signal) {
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

void hold() {}
void release() {}

void waitForTheEnd() {
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace morvale::interrupts
