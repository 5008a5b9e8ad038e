// Interruptions that the running code raises itself: a fault, a stack that
// overflows, abort(). Each runs in a child process of this test.
#include "platform/interrupts.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace morvale {
namespace {

namespace fs = std::filesystem;

int readUnmapped() {
    // Not null, which the sanitizers would report before any fault: an
    // address that no program maps.
    volatile std::uintptr_t unmapped = 16;
    return *reinterpret_cast<volatile int*>(unmapped);
}

int overflowStack(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return depth > 0 ? overflowStack(depth + 1) + frame[0] : 0;
}

int divideByZero() {
    // Both read at run time, or the compiler divides without dividing.
    volatile int one = 1;
    volatile int zero = 0;
    return one / zero;
}

// A crash removes the file named to the handler, then ends the process by
// the same signal, as it would have without the tool's handler: the crash
// handler runs on a stack of its own, so a stack that overflowed is no
// obstacle.
TEST(Interrupts, ACrashRemovesTheNewFileAndEndsTheProcessAsItWould) {
    const struct {
        const char* what;
        int (*crash)();
        int signal;
        bool sanitizersCatchItFirst;  // and end the process their own way, with no signal
    } cases[] = {
        {"an unmapped address read", readUnmapped, SIGSEGV, false},
        {"a stack that overflows", []() { return overflowStack(1); }, SIGSEGV, false},
        {"abort()", []() -> int { std::abort(); }, SIGABRT, false},
        {"an integer divided by zero", divideByZero, SIGFPE, true},
    };
    const fs::path path = fs::temp_directory_path() / ("morvale-crash-" + std::to_string(getpid()) + ".vec.incomplete-x");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
#ifdef MORVALE_SANITIZED
        if (c.sanitizersCatchItFirst) {
            continue;
        }
#endif
        std::ofstream(path) << "part of a vector file";
        const pid_t pid = fork();
        if (pid == 0) {
            interrupts::install();
            interrupts::removeOnInterrupt(path.c_str());
            c.crash();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_FALSE(fs::exists(path));
#ifdef MORVALE_SANITIZED
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);  // a sanitizer's report may end it
#else
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), c.signal);
#endif
        fs::remove(path);
    }
}

// A thread that holds interruptions back, and lets them in again, while
// another holds them back too leaves the other's as they were: the one that
// holds them last does not let them in for both, nor keep them out for both.
TEST(Interrupts, EachThreadLetsInWhatItHeldBack) {
    const pid_t pid = fork();
    if (pid == 0) {
        interrupts::install();
        interrupts::hold();
        std::thread([] {
            interrupts::hold();
            interrupts::release();
        }).join();
        // A hold within a hold lets nothing in when it ends.
        interrupts::hold();
        interrupts::release();
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        const bool stillHeld = sigismember(&mask, SIGTERM) == 1;
        interrupts::release();
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        _exit(stillHeld && sigismember(&mask, SIGTERM) == 0 && sigismember(&mask, SIGINT) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "interruptions let in by an inner release(), or held back after the last";
}

}  // namespace
}  // namespace morvale
