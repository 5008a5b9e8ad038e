// Interruptions: what every system's implementation shares.
#include "platform/interrupts.h"

#include <atomic>

#include "platform/file_system.h"

namespace morvale::interrupts {

namespace {

std::atomic<const char*> toRemove{nullptr};
std::atomic<void (*)()> toUndo{nullptr};
std::atomic<void (*)(const char*)> toReport{nullptr};

}  // namespace

void removeOnInterrupt(const char* path) { toRemove.store(path); }

void undoOnInterrupt(void (*undo)()) { toUndo.store(undo); }

void reportOnInterrupt(void (*report)(const char* leftover)) { toReport.store(report); }

void cleanUp() {
    if (const char* path = toRemove.exchange(nullptr)) {
        if (!files::remove(path)) {
            if (void (*report)(const char*) = toReport.load()) {
                report(path);
            }
        }
    }
    if (void (*undo)() = toUndo.exchange(nullptr)) {
        undo();
    }
}

}  // namespace morvale::interrupts
