// Interruptions: what every system's implementation shares.
#include "platform/interrupts.h"

#include <atomic>
#include <cerrno>

#include "platform/file_system.h"

namespace morvale::interrupts {

namespace {

// A slot's name, and the same name once the file may be taking its final
// one; nullptr both when the slot is free.
std::atomic<const char*> toRemove[kFilesAtOnce] = {};
std::atomic<const char*> renamed[kFilesAtOnce] = {};
std::atomic<bool> ending{false};
std::atomic<void (*)()> toUndo{nullptr};
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

void renamingOnInterrupt(const char* path) {
    for (int i = 0; i < kFilesAtOnce; ++i) {
        if (toRemove[i].load() == path) {
            renamed[i].store(path);
            return;
        }
    }
    stopIfEnding();  // being removed: it must not take the name
}

void keepOnInterrupt(const char* path) {
    for (int i = 0; i < kFilesAtOnce; ++i) {
        const char* named = path;
        if (toRemove[i].compare_exchange_strong(named, nullptr)) {
            // Only while the name is still alive, so no later text at the
            // same address can be taken for it.
            named = path;
            renamed[i].compare_exchange_strong(named, nullptr);
            return;
        }
    }
    stopIfEnding();
}

void undoOnInterrupt(void (*undo)()) { toUndo.store(undo); }

void reportOnInterrupt(void (*report)(const char* leftover)) { toReport.store(report); }

// A file that is gone may have taken its final name a moment before, where
// nothing holds an interruption back: a sync thread's rename, a Windows
// console's Ctrl-C. Gone otherwise, it is still a file left somewhere.
void cleanUp() {
    ending.store(true);
    for (int i = 0; i < kFilesAtOnce; ++i) {
        if (const char* path = toRemove[i].exchange(nullptr)) {
            if (!files::remove(path) && (errno != ENOENT || renamed[i].load() != path)) {
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
