// Interruptions: what every system's implementation shares.
#include "platform/interrupts.h"

#include <atomic>
#include <cerrno>

#include "platform/file_system.h"

namespace morvale::interrupts {

namespace {

// A slot's name, or nullptr when the slot is free.
std::atomic<const char*> toRemove[kFilesAtOnce] = {};
std::atomic<bool> ending{false};
std::atomic<void (*)()> toUndo{nullptr};
std::atomic<void (*)()> toErase{nullptr};
std::atomic<void (*)(const char*)> toReport{nullptr};

// Another thread, or a Windows console's handler thread, may be removing the
// file it names: the name must outlive that, so the caller goes no further.
void stopIfEnding() {
    if (ending.load()) {
        waitForTheEnd();
    }
}

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

void moveOnInterrupt(const char* from, const char* to) {
    for (std::atomic<const char*>& slot : toRemove) {
        const char* named = from;
        if (slot.compare_exchange_strong(named, to)) {
            return;
        }
    }
    stopIfEnding();
}

void keepOnInterrupt(const char* path) {
    for (std::atomic<const char*>& slot : toRemove) {
        const char* named = path;
        if (slot.compare_exchange_strong(named, nullptr)) {
            return;
        }
    }
    stopIfEnding();
}

void undoOnInterrupt(void (*undo)()) { toUndo.store(undo); }

void eraseOnInterrupt(void (*erase)()) { toErase.store(erase); }

void reportOnInterrupt(void (*report)(const char* leftover)) { toReport.store(report); }

// Files take their names and are removed with interruptions held back, so a
// file named here and gone is one whose folder was moved: still a file left
// somewhere.
void cleanUp() {
    ending.store(true);
    if (void (*erase)() = toErase.exchange(nullptr)) {
        erase();
    }
    for (std::atomic<const char*>& slot : toRemove) {
        if (const char* path = slot.exchange(nullptr)) {
            if (!files::remove(path)) {
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
