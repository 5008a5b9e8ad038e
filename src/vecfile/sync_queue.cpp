// Waiting for vector files to reach the disk, several at a time.
#include "vecfile/sync_queue.h"

#include <algorithm>

#include "platform/interrupts.h"

namespace morvale {

SyncQueue::~SyncQueue() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void SyncQueue::start(PendingFile& file) {
    if (workers_.empty()) {
        // Started with interruptions held back, the threads keep them held
        // back: an interruption reaches the thread that may hold them back
        // while it names a new file to remove.
        interrupts::hold();
        for (int i = 0; i < threads_; ++i) {
            workers_.emplace_back(&SyncQueue::work, this);
        }
        interrupts::release();
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(&file);
        unfinished_.push_back(&file);
    }
    queued_.notify_one();
}

void SyncQueue::wait(PendingFile& file) {
    std::unique_lock<std::mutex> lock(mutex_);
    synced_.wait(lock, [&] { return std::find(unfinished_.begin(), unfinished_.end(), &file) == unfinished_.end(); });
}

bool SyncQueue::done(PendingFile& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::find(unfinished_.begin(), unfinished_.end(), &file) == unfinished_.end();
}

void SyncQueue::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            return;  // stopping, and nothing is left to sync
        }
        PendingFile* const file = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        file->sync();
        lock.lock();
        unfinished_.erase(std::find(unfinished_.begin(), unfinished_.end(), file));
        synced_.notify_all();
    }
}

}  // namespace morvale
