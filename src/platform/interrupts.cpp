// Interruptions: the file they must remove, and holding them back.
#include "platform/interrupts.h"

#include <atomic>

#include "platform/file_system.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace morvale::interrupts {

namespace {

std::atomic<const char*> toRemove{nullptr};

#ifndef _WIN32
sigset_t heldFrom;  // the mask before hold(), which release() gives back

sigset_t interruptions() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kSignals) {
        sigaddset(&set, signal);
    }
    return set;
}
#endif

}  // namespace

#ifdef _WIN32
void hold() {}
void release() {}
#else
void hold() {
    const sigset_t set = interruptions();
    sigprocmask(SIG_BLOCK, &set, &heldFrom);
}

// Signals that were blocked before hold() stay blocked.
void release() { sigprocmask(SIG_SETMASK, &heldFrom, nullptr); }
#endif

void removeOnInterrupt(const char* path) { toRemove.store(path); }

void cleanUp() {
    if (const char* path = toRemove.load()) {
        files::remove(path);
    }
}

}  // namespace morvale::interrupts
