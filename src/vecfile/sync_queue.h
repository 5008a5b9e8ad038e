// Finishing vector files, several at a time: their syncs, then their names. A
// disk commits the files whose syncs are under way together: a batch of
// small tables whose syncs overlap waits about as long as for one of them,
// where one sync after the other waits for each.
#ifndef MORVALE_VECFILE_SYNC_QUEUE_H
#define MORVALE_VECFILE_SYNC_QUEUE_H

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "vecfile/vector_file.h"

namespace morvale {

// Finishes pending files (their syncs, then their names) on threads of its
// own, one more as each file comes up to the most; where the system gives no
// thread, on the caller's. A file takes its name as soon as its sync has
// ended, whatever the caller is doing meanwhile: waiting for a slow input
// must not keep a finished file where an interruption removes it. Each
// thread then calls `finished` with `context`, outside the queue's lock, to
// let the caller report it. Interruptions are left to the thread that
// started the queue.
class SyncQueue {
public:
    using Finished = void (*)(void* context);
    SyncQueue(int threads, Finished finished, void* context)
        : threads_(threads), finished_(finished), context_(context) {}
    ~SyncQueue();
    SyncQueue(const SyncQueue&) = delete;
    SyncQueue& operator=(const SyncQueue&) = delete;

    // What start() hands out to ask about a file later: its number in the
    // queue, or kDone when the caller has finished it itself. A number, not
    // the file, since the file may be gone by the time a caller asks.
    using Ticket = unsigned long long;
    static constexpr Ticket kDone = 0;

    // Starts finishing `file`, which must stay where it is until it is done.
    Ticket start(PendingFile& file);

    // Waits until the file of `ticket` is finished.
    void wait(Ticket ticket);

    // Whether the file of `ticket` is finished.
    bool done(Ticket ticket);

private:
    bool startWorker();
    void work();

    int threads_;
    Finished finished_;
    void* context_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable synced_;
    std::deque<std::pair<PendingFile*, Ticket>> waiting_;  // not started yet
    std::vector<Ticket> unfinished_;                      // started, or not started yet
    Ticket last_ = kDone;
    bool stopping_ = false;
};

}  // namespace morvale

#endif
