// The few things the driver needs from the operating system beyond files.
#ifndef MORVALE_DRIVER_PLATFORM_H
#define MORVALE_DRIVER_PLATFORM_H

namespace morvale {

// Waits for one key press, read without echo and without waiting for Enter.
// Does nothing when standard input is not a terminal, so that scripts and
// pipes never hang.
void waitForKey();

// Makes an interruption (Ctrl-C, a termination request) remove the output
// file being written, so that no truncated vector file is left behind.
void installInterruptCleanup();

// The file an interruption must remove now, or nullptr. The text must stay
// valid until it is replaced.
void setRemoveOnInterrupt(const char* path);

}  // namespace morvale

#endif
