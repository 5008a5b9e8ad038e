// Waiting for vector files to reach the disk, several at a time. A disk
// commits the files whose syncs are under way together: a batch of small
// tables whose syncs overlap waits about as long as for one of them, where
// one sync after the other waits for each.
#ifndef MORVALE_VECFILE_SYNC_QUEUE_H
#define MORVALE_VECFILE_SYNC_QUEUE_H

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "vecfile/vector_file.h"

namespace morvale {

// Syncs pending files on threads of its own, started when the first file
// comes. Interruptions are left to the thread that started it.
class SyncQueue {
public:
    explicit SyncQueue(int threads) : threads_(threads) {}
    ~SyncQueue();
    SyncQueue(const SyncQueue&) = delete;
    SyncQueue& operator=(const SyncQueue&) = delete;

    // Starts the sync of `file`, which must stay where it is until wait()
    // says it is done.
    void start(PendingFile& file);

    // Waits until the sync of `file`, started here, has ended.
    void wait(PendingFile& file);

    // Whether no sync of `file` is under way or waits here.
    bool done(PendingFile& file);

private:
    void work();

    int threads_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable synced_;
    std::deque<PendingFile*> waiting_;     // not started yet
    std::vector<PendingFile*> unfinished_;  // started, or not started yet
    bool stopping_ = false;
};

}  // namespace morvale

#endif
