// Interruptions and what must not outlive one: the vector file being
// written, which is never finished once the run is interrupted, and a
// terminal or console the tool has changed. On POSIX systems an interruption
// is any signal whose default is to end the process, a crash among them; on
// Windows, Ctrl-C, Ctrl-Break and a termination request.
#ifndef MORVALE_PLATFORM_INTERRUPTS_H
#define MORVALE_PLATFORM_INTERRUPTS_H

namespace morvale::interrupts {

// Makes every interruption remove the file named to removeOnInterrupt() and
// undo what undoOnInterrupt() names, then end the process as the signal
// would have: the same status, and a core dump where the signal makes one.
// Signals that were ignored when the tool started (nohup, a script's
// background job) stay ignored. A reader of the console report that has
// gone, and a file-size limit, become ordinary write failures, reported
// where they happen, instead of a silent death.
void install();

// Holds back interruptions, in the calling thread, while a file that one must
// remove comes into being and is named to removeOnInterrupt(), takes its
// final name or is removed, so that none falls in between; threads started
// meanwhile hold them back for good; release() lets them in again, unless
// they were held back before, or by a hold that is still in force. A crash
// cannot be held back; a Windows console's Ctrl-C, which runs on a thread of
// its own, waits for release().
void hold();
void release();

// The most files an interruption may have to remove at once: the vector
// file being written and those written whole that wait to take their names.
constexpr int kFilesAtOnce = 80;

// Names a file that an interruption must remove, until keepOnInterrupt()
// names it again; false, naming nothing, when kFilesAtOnce are named
// already. The text must stay valid until then: once an interruption has
// begun, keepOnInterrupt() and moveOnInterrupt() never return to a thread
// whose text it may be using, as the process is ending anyway.
bool removeOnInterrupt(const char* path);
void keepOnInterrupt(const char* path);

// The same file named by another text from one moment to the next.
void moveOnInterrupt(const char* from, const char* to);

// What an interruption must undo besides, or nullptr: a function that is
// safe to call from a signal handler, such as giving a terminal back its
// settings.
void undoOnInterrupt(void (*undo)());

// What an interruption calls first, or nullptr: a function that is safe to
// call from a signal handler, such as erasing a line shown on a terminal.
void eraseOnInterrupt(void (*erase)());

// What an interruption calls with the name of the file it could not remove,
// or nullptr: a function that is safe to call from a signal handler.
void reportOnInterrupt(void (*report)(const char* leftover));

// Removes those files, or reports those it cannot, and undoes that change,
// each once however often it is called. Safe to call from a signal handler.
void cleanUp();

// Waits until the process ends; for a thread that an interruption overtook.
[[noreturn]] void waitForTheEnd();

}  // namespace morvale::interrupts

#endif
