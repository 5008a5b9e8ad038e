// Interruptions (Ctrl-C, a termination request, a hang-up) and the one file
// that must not outlive one: the vector file being written, which is never
// finished once the run is interrupted.
#ifndef MORVALE_PLATFORM_INTERRUPTS_H
#define MORVALE_PLATFORM_INTERRUPTS_H

#include <csignal>

namespace morvale::interrupts {

// The signals that interrupt a run.
#ifdef _WIN32
inline constexpr int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
inline constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#endif

// Holds back interruptions while a file that one must remove comes into
// being and is named to removeOnInterrupt(), so that none falls in between;
// release() lets them in again, unless they were held back before. A Windows console's Ctrl-C runs on a thread
// of its own, which cannot be held back: there the window stays short.
void hold();
void release();

// The file an interruption must remove now, or nullptr. The text must stay
// valid until it is replaced.
void removeOnInterrupt(const char* path);

// Removes that file. Safe to call from a signal handler.
void cleanUp();

}  // namespace morvale::interrupts

#endif
