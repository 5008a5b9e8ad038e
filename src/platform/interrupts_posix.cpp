// Interruptions on POSIX systems: signal handlers and the signal mask.
#include <signal.h>

#include "platform/interrupts.h"

namespace morvale::interrupts {

namespace {

sigset_t heldFrom;  // the mask before hold(), which release() gives back

sigset_t interruptions() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

// Cleans up, then ends the process by the same signal, so that its parent
// sees what ended it.
extern "C" void onInterrupt(int signal) {
    cleanUp();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

void install() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        struct sigaction previous = {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

void hold() {
    const sigset_t set = interruptions();
    sigprocmask(SIG_BLOCK, &set, &heldFrom);
}

// Signals that were blocked before hold() stay blocked.
void release() { sigprocmask(SIG_SETMASK, &heldFrom, nullptr); }

}  // namespace morvale::interrupts
