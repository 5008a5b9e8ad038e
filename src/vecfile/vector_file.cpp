// The vector file on disk.
#include "vecfile/vector_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_metadata.h"
#include "platform/interrupts.h"

namespace morvale {

namespace {

// How much is written between two requests to start putting it on the disk.
// Without them the final fsync waits for the whole file to go out; with them
// the disk works while the file is made. 2 and 32 MiB did no better.
constexpr long long kWriteBackStep = 8LL << 20;

// Removes a new file, or remembers that it is still there and why; either
// way it is no longer one for an interruption to remove. A name that no
// longer leads to it (its folder renamed meanwhile) leaves it too. Both at
// one moment for an interruption, which would otherwise find it gone.
void removeLeftover(const std::string& temporary, std::string& leftover, int& error) {
    interrupts::hold();
    if (!files::remove(temporary.c_str())) {
        leftover = temporary;
        error = errno != 0 ? errno : EIO;
    }
    interrupts::keepOnInterrupt(temporary.c_str());
    interrupts::release();
}

// Why `existing` may not be replaced by a vector file, as an errno, or 0.
int refusalOf(const files::Entry& existing) {
    switch (existing.kind) {
    case files::Kind::Missing:
    case files::Kind::SymbolicLink:
        return 0;
    case files::Kind::Regular:
        // Write-protected: its owner wants it kept.
        return existing.writable ? 0 : (existing.error != 0 ? existing.error : EACCES);
    case files::Kind::Directory:
        return EISDIR;
    case files::Kind::Other:
        // A FIFO would block the run and a device would take the bytes
        // elsewhere.
        return existing.error != 0 ? existing.error : files::kNotRegularFile;
    }
    return 0;
}

}  // namespace

VectorFile::VectorFile(std::size_t bufferSize) {
    const std::size_t size = std::max(bufferSize, kMaxReserve);
    buffer_.reset(new char[size]);
    pos_ = buffer_.get();
    limit_ = pos_ + size;
}

VectorFile::~VectorFile() { abandon(); }

void VectorFile::start() {
    pos_ = buffer_.get();
    error_ = 0;
    metadataNotKept_ = false;
    written_ = 0;
    writtenBack_ = 0;
}

bool VectorFile::open(const char* target, const files::NewFileAccess& access) {
    abandon();
    leftover_.clear();
    leftoverError_ = 0;
    const files::Entry existing = files::examine(target);
    if (const int refusal = refusalOf(existing)) {
        errno = refusal;
        return false;
    }
    if (!createFile(target, existing, access)) {
        return false;
    }
    target_ = target;
    replacing_ = existing.kind == files::Kind::Regular;
    start();
    return true;
}

// Creates the new file beside `target`, named to interruptions from its
// first moment on; false with errno set when it could not be.
bool VectorFile::createFile(const char* target, const files::Entry& existing, const files::NewFileAccess& access) {
    interrupts::hold();
    files::Handle file = files::createBeside(target, existing, access, temporary_);
    int error = errno;
    if (file != files::kNoHandle && !interrupts::removeOnInterrupt(temporary_.c_str())) {
        // Never a file that an interruption would leave behind.
        files::close(file);
        removeLeftover(temporary_, leftover_, leftoverError_);
        file = files::kNoHandle;
        error = EMFILE;
    }
    interrupts::release();
    if (file == files::kNoHandle) {
        temporary_.clear();
        errno = error;
        return false;
    }
    file_ = file;
    return true;
}

void VectorFile::attachMemory(std::string* bytes) {
    abandon();
    memory_ = bytes;
    memoryKept_ = bytes != nullptr ? bytes->size() : 0;
    start();
}

void VectorFile::flush() {
    const std::size_t size = static_cast<std::size_t>(pos_ - buffer_.get());
    pos_ = buffer_.get();
    emit(buffer_.get(), size);
}

void VectorFile::writeBlock(const char* bytes, std::size_t size) {
    flush();
    emit(bytes, size);
}

// Sends bytes on to the file or the memory output, after what was sent before.
void VectorFile::emit(const char* bytes, std::size_t size) {
    if (error_ != 0 || size == 0) {
        return;
    }
    if (file_ != files::kNoHandle) {
        if (!files::writeAll(file_, bytes, size)) {
            fail();
            return;
        }
        written_ += static_cast<long long>(size);
        if (written_ - writtenBack_ >= kWriteBackStep) {
            files::startWriteBack(file_, writtenBack_, written_ - writtenBack_);
            writtenBack_ = written_;
        }
    } else if (memory_ != nullptr) {
        memory_->append(bytes, size);
    }
}

// Remembers the first failure; always false.
bool VectorFile::fail() {
    if (error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    return false;
}

bool VectorFile::close() {
    PendingFile pending;
    if (!finishInto(pending)) {
        return false;
    }
    if (!pending.holdsFile()) {
        return true;  // a memory output
    }
    const bool committed = pending.finish();
    error_ = pending.error();
    leftover_ = pending.leftover();
    leftoverError_ = pending.leftoverError();
    return committed;
}

bool VectorFile::finishInto(PendingFile& pending) {
    flush();
    memory_ = nullptr;
    if (file_ == files::kNoHandle) {
        return error_ == 0;
    }
    // The disk may start on the rest while the next tables are converted.
    if (error_ == 0 && written_ > writtenBack_) {
        files::startWriteBack(file_, writtenBack_, written_ - writtenBack_);
    }
    // After the last write, which would clear the set-ID bits it gives.
    if (error_ == 0 && replacing_ && !files::keepMetadata(target_.c_str(), file_)) {
        metadataNotKept_ = true;
        fail();
    }
    if (error_ == 0 && !files::identityOf(file_, identity_)) {
        fail();
    }
    if (error_ != 0) {
        abandon();
        return false;
    }
    // The file passes to `pending` under its name there, from one moment to
    // the next for an interruption.
    pending.file_ = file_;
    pending.target_ = target_;
    pending.temporary_ = temporary_;
    pending.error_ = 0;
    interrupts::moveOnInterrupt(temporary_.c_str(), pending.temporary_.c_str());
    file_ = files::kNoHandle;
    temporary_.clear();
    return true;
}

PendingFile::~PendingFile() { abandon(); }

bool PendingFile::sync() {
    if (error_ == 0 && !files::syncToDisk(file_)) {
        error_ = errno != 0 ? errno : EIO;
    }
    return error_ == 0;
}

bool PendingFile::takeName() {
    if (file_ == files::kNoHandle) {
        return error_ == 0;
    }
    if (!files::close(file_) && error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    file_ = files::kNoHandle;
    if (error_ == 0) {
        // Renamed and no longer one to remove at one moment for an interruption.
        interrupts::hold();
        if (files::replace(temporary_.c_str(), target_.c_str())) {
            interrupts::keepOnInterrupt(temporary_.c_str());
        } else {
            error_ = errno != 0 ? errno : EIO;
            nameNotTaken_ = true;
        }
        interrupts::release();
    }
    if (error_ != 0) {
        removeLeftover(temporary_, leftover_, leftoverError_);
    }
    return error_ == 0;
}

void PendingFile::abandon() {
    if (file_ != files::kNoHandle) {
        files::close(file_);
        file_ = files::kNoHandle;
        removeLeftover(temporary_, leftover_, leftoverError_);
    }
}

void VectorFile::abandon() {
    if (memory_ != nullptr) {
        memory_->resize(memoryKept_);
        memory_ = nullptr;
    }
    if (file_ == files::kNoHandle) {
        return;
    }
    files::close(file_);
    file_ = files::kNoHandle;
    removeLeftover(temporary_, leftover_, leftoverError_);
    temporary_.clear();
}

void VectorFile::append(std::string_view text) {
    while (!text.empty()) {
        const std::size_t part = std::min(text.size(), kMaxReserve);
        char* const out = reserve(part);
        std::memcpy(out, text.data(), part);
        commit(out + part);
        text.remove_prefix(part);
    }
}

}  // namespace morvale
