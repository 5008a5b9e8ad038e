// Interruptions: what every system's implementation shares.
#include "platform/interrupts.h"

#include <atomic>
#include <cerrno>

#include "platform/file_system.h"

namespace morvale::interrupts {

namespace {

std::atomic<const char*> toRemove[kFilesAtOnce] = {};
std::atomic<void (*)()> toUndo{nullptr};
std::atomic<void (*)(const char*)> toReport{nullptr};

}  // namespace

bool removeOnInterrupt(const char* path) {
    for (std::atomic<const char*>& slot : toRemove) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, path)) {
            return true;
        }
    }
    return false;
}

void keepOnInterrupt(const char* path) {
    for (std::atomic<const char*>& slot : toRemove) {
        const char* named = path;
        if (slot.compare_exchange_strong(named, nullptr)) {
            return;
        }
    }
}

void undoOnInterrupt(void (*undo)()) { toUndo.store(undo); }

void reportOnInterrupt(void (*report)(const char* leftover)) { toReport.store(report); }

// A file gone already needs no removing: it may have taken its name a moment
// before, where nothing holds an interruption back (a Windows console's).
void cleanUp() {
    for (std::atomic<const char*>& slot : toRemove) {
        if (const char* path = slot.exchange(nullptr)) {
            if (!files::remove(path) && errno != ENOENT) {
                if (void (*report)(const char*) = toReport.load()) {
                    report(path);
                }
            }
        }
    }
    if (void (*undo)() = toUndo.exchange(nullptr)) {
        undo();
    }
}

}  // namespace morvale::interrupts
