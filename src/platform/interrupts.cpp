// Interruptions: what every system's implementation shares.
#include "platform/interrupts.h"

#include <atomic>

#include "platform/file_system.h"

namespace morvale::interrupts {

namespace {

std::atomic<const char*> toRemove{nullptr};
std::atomic<void (*)()> toUndo{nullptr};

}  // namespace

void removeOnInterrupt(const char* path) { toRemove.store(path); }

void undoOnInterrupt(void (*undo)()) { toUndo.store(undo); }

void cleanUp() {
    if (const char* path = toRemove.load()) {
        files::remove(path);
    }
    if (void (*undo)() = toUndo.load()) {
        undo();
    }
}

}  // namespace morvale::interrupts
