// Interruptions on POSIX systems: a handler for every signal whose default
// is to end the process, and the signal mask.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "platform/interrupts.h"

namespace morvale::interrupts {

namespace {

// Signals sent from outside the process, which hold() may hold back.
constexpr int kSentSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef __linux__
    SIGPWR, SIGSTKFLT, SIGIO,  // elsewhere SIGIO is ignored by default, and the others may not exist
#endif
};

// Signals that the instruction being run raises, or abort(); anyone may
// send them too. The first four are raised again by that instruction when
// the handler returns.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};

// What each handled signal did before install(), which is what it does again
// once the tool has cleaned up: the default action, or a sanitizer's report.
struct sigaction previous[NSIG];
sigset_t sent;      // of them, those that hold() holds back
// The mask before the outermost hold(), which its release() gives back, and
// how many holds are in force: each thread its own.
thread_local sigset_t heldFrom;
thread_local int holds = 0;

// A stack for the crash handler, so that it can run when the stack itself
// has overflowed.
alignas(16) char crashStack[64 * 1024];

bool isRepeatedByInstruction(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
}

// Cleans up, then gives the signal back what it did before and lets it do
// that. A fault that the running instruction caused (si_code above 0) comes
// again when the handler returns, with what the system knows of it intact;
// any other signal is raised again, and arrives once the handler returns.
extern "C" void onSignal(int signal, siginfo_t* info, void*) {
    cleanUp();
    sigaction(signal, &previous[signal], nullptr);
    if (!isRepeatedByInstruction(signal) || info == nullptr || info->si_code <= 0) {
        raise(signal);
    }
}

// Gives `signal` the handler unless it was ignored when the tool started.
void handle(int signal, const struct sigaction& action) {
    if (sigaction(signal, nullptr, &previous[signal]) != 0 || previous[signal].sa_handler == SIG_IGN) {
        return;
    }
    sigaction(signal, &action, nullptr);
}

// An alternate stack for the crash handler, unless one is there already
// (a sanitizer's).
void prepareCrashStack() {
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
        return;
    }
    stack_t stack = {};
    stack.ss_sp = crashStack;
    stack.ss_size = sizeof crashStack;
    sigaltstack(&stack, nullptr);
}

}  // namespace

void install() {
    sigemptyset(&sent);
    for (int signal : kSentSignals) {
        sigaddset(&sent, signal);
    }
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        sigaddset(&sent, signal);
    }
    // While one handler runs no other may: the cleaning up is done once.
    struct sigaction action = {};
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&sent, signal) == 1) {
            sigaddset(&action.sa_mask, signal);
        }
    }
    for (int signal : kCrashSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&sent, signal) == 1) {
            handle(signal, action);
        }
    }
    prepareCrashStack();
    action.sa_flags |= SA_ONSTACK;
    for (int signal : kCrashSignals) {
        handle(signal, action);
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

void hold() {
    if (holds++ == 0) {
        pthread_sigmask(SIG_BLOCK, &sent, &heldFrom);
    }
}

// Signals that were blocked before hold() stay blocked; a hold within a hold
// lets nothing in.
void release() {
    if (--holds == 0) {
        pthread_sigmask(SIG_SETMASK, &heldFrom, nullptr);
    }
}

void waitForTheEnd() {
    for (;;) {
        pause();
    }
}

}  // namespace morvale::interrupts
