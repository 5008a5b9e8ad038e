// Finishing vector files, several at a time.
#include "vecfile/sync_queue.h"

#include <algorithm>
#include <system_error>

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

SyncQueue::Ticket SyncQueue::start(PendingFile& file) {
    if (workers_.size() < static_cast<std::size_t>(threads_) && !startWorker()) {
        if (workers_.empty()) {
            file.finish();  // no thread to be had: done here, as without a queue
            return kDone;
        }
    }
    Ticket ticket;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ticket = ++last_;
        waiting_.emplace_back(&file, ticket);
        unfinished_.push_back(ticket);
    }
    queued_.notify_one();
    return ticket;
}

// One more thread, as more files come, up to the most. Started with
// interruptions held back, it keeps them held back: an interruption reaches
// the thread that holds them back while it names a new file to remove. False
// when the system gives no more threads.
bool SyncQueue::startWorker() {
    interrupts::hold();
    bool started = true;
    try {
        workers_.emplace_back(&SyncQueue::work, this);
    } catch (const std::system_error&) {
        started = false;
    }
    interrupts::release();
    return started;
}

void SyncQueue::wait(Ticket ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    synced_.wait(lock, [&] { return std::find(unfinished_.begin(), unfinished_.end(), ticket) == unfinished_.end(); });
}

bool SyncQueue::done(Ticket ticket) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::find(unfinished_.begin(), unfinished_.end(), ticket) == unfinished_.end();
}

void SyncQueue::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            return;  // stopping, and nothing is left to finish
        }
        const auto [file, ticket] = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        file->finish();
        lock.lock();
        unfinished_.erase(std::find(unfinished_.begin(), unfinished_.end(), ticket));
        synced_.notify_all();
        if (finished_ != nullptr) {
            lock.unlock();
            finished_(context_);
            lock.lock();
        }
    }
}

}  // namespace morvale
