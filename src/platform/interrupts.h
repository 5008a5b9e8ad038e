// Interruptions (Ctrl-C, a termination request, a hang-up) and what must not
// outlive one: the vector file being written, which is never finished once
// the run is interrupted, and a terminal or console the tool has changed.
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

// Makes every interruption remove the file named to removeOnInterrupt() and
// undo what undoOnInterrupt() names, then end the process as the signal
// would have. Signals that were ignored when the tool started (nohup, a
// script's background job) stay ignored. A reader of the console report that
// has gone, and a file-size limit, become ordinary write failures, reported
// where they happen, instead of a silent death.
void install();

// Holds back interruptions while a file that one must remove comes into
// being and is named to removeOnInterrupt(), so that none falls in between;
// release() lets them in again, unless they were held back before. A Windows
// console's Ctrl-C runs on a thread of its own, which cannot be held back:
// there the window stays short.
void hold();
void release();

// The file an interruption must remove now, or nullptr. The text must stay
// valid until it is replaced.
void removeOnInterrupt(const char* path);

// What an interruption must undo besides, or nullptr: a function that is
// safe to call from a signal handler, such as giving a terminal back its
// settings.
void undoOnInterrupt(void (*undo)());

// Removes that file and undoes that change. Safe to call from a signal
// handler.
void cleanUp();

}  // namespace morvale::interrupts

#endif
