// The group commit of a batch.
#include "driver/group_commit.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "platform/file_system.h"
#include "platform/interrupts.h"

namespace morvale {

namespace {

// How many syncs of a group may be under way at once.
constexpr std::size_t kSyncThreads = 16;
// The files the run opens besides a group's: the table, the vector file
// being written, the file it replaces while what that file had is read, a
// folder being synced, and room to spare.
constexpr long kOtherFiles = 13;

static_assert(kLargestGroup + 1 <= static_cast<std::size_t>(interrupts::kFilesAtOnce),
              "an interruption finds them all");

// Syncs the files of `group` that `next` hands out, until none is left.
void syncFrom(const std::vector<PendingFile*>& group, std::atomic<std::size_t>& next) {
    for (std::size_t at = next++; at < group.size(); at = next++) {
        group[at]->sync();
    }
}

// Syncs every file of the group, this thread among those that do. The other
// threads are started with interruptions held back, which they keep: an
// interruption reaches this thread alone, which renames and removes files.
void syncAll(const std::vector<PendingFile*>& group) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    interrupts::hold();
    try {
        while (threads.size() + 1 < std::min(group.size(), kSyncThreads)) {
            threads.emplace_back(syncFrom, std::cref(group), std::ref(next));
        }
    } catch (const std::system_error&) {
        // No more threads to be had: those there are do the work.
    }
    interrupts::release();
    syncFrom(group, next);
    for (std::thread& thread : threads) {
        thread.join();
    }
}

std::string folderOf(const std::string& name) { return name.substr(0, files::leafStart(name)); }

// Syncs once each folder that a file of the group took its name in, after
// the last of them; the files of a folder whose sync failed get its errno.
void syncFolders(const std::vector<PendingFile*>& group, std::vector<int>& failures) {
    std::vector<std::string> done;
    for (std::size_t last = group.size(); last-- > 0;) {
        const std::string folder = folderOf(group[last]->target());
        if (group[last]->error() != 0 || std::find(done.begin(), done.end(), folder) != done.end()) {
            continue;
        }
        done.push_back(folder);
        if (files::syncFolderOf(group[last]->target())) {
            continue;
        }
        const int error = errno != 0 ? errno : EIO;
        for (std::size_t at = 0; at <= last; ++at) {
            if (group[at]->error() == 0 && folderOf(group[at]->target()) == folder) {
                failures[at] = error;
            }
        }
    }
}

}  // namespace

std::size_t groupSize() {
    const long room = files::openFileRoom() - kOtherFiles;
    return static_cast<std::size_t>(std::clamp(room, 1L, static_cast<long>(kLargestGroup)));
}

std::vector<int> commitGroup(const std::vector<PendingFile*>& group) {
    std::vector<int> failures(group.size(), 0);
    syncAll(group);
    for (PendingFile* file : group) {
        file->takeName();
    }
    syncFolders(group, failures);
    return failures;
}

}  // namespace morvale
