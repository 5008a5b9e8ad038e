// CharSource: buffered binary reading and the input's text conventions.
#include "table/char_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvale {

namespace {

constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t kByteOrderMarkSize = sizeof kByteOrderMark;

}  // namespace

// The buffer holds at least a byte-order mark, so that the first refill can
// always tell whether the input starts with one. Its slack is read but never
// used; zeroed, it reads the same every time.
CharSource::CharSource(std::size_t bufferSize)
    : buffer_(new unsigned char[std::max(bufferSize, kByteOrderMarkSize) + kSlack]()),
      capacity_(std::max<std::size_t>(bufferSize, 1)) {}

CharSource::~CharSource() { close(); }

void CharSource::start(files::Handle file, long long size, const unsigned char* memory) {
    file_ = file;
    memory_ = memory;
    size_ = size;
    read_ = 0;
    lastLineEnd_ = size;
    lastLineLeftOut_ = false;
    pos_ = end_ = nullptr;
    atEnd_ = false;
    atStart_ = true;
    drained_ = false;
    readErrno_ = 0;
    shrank_ = false;
    linesEnded_ = 0;
    controls_ = ControlNotes();
}

bool CharSource::open(const char* name) {
    close();
    long long size = -1;
    if (watcher_ != nullptr) {
        watcher_->beforeWait();
    }
    const files::Handle file = files::openForReading(name, size);
    const int error = errno;
    if (watcher_ != nullptr) {
        watcher_->afterWait();
    }
    errno = error;
    if (file == files::kNoHandle) {
        return false;
    }
    start(file, size, nullptr);
    findLastLineEnd();
    return true;
}

// Finds where the file's last whole line ends, when its last byte is no line
// end. Only the last MiB is searched, more than any row holds: a file with no
// line end there (one long line, lone CRs, no text) is left to be read whole,
// and not read twice.
void CharSource::findLastLineEnd() {
    constexpr long long kSearched = 1LL << 20;
    unsigned char* const block = buffer_.get();
    const long long floor = std::max<long long>(0, size_ - 1 - kSearched);
    for (long long end = size_; end > floor;) {
        const std::size_t chunk = end == size_ ? 1 : static_cast<std::size_t>(std::min<long long>(end, capacity_));
        if (files::readAt(file_, end - static_cast<long long>(chunk), block, chunk) != static_cast<long long>(chunk)) {
            return;  // read as before
        }
        for (std::size_t at = chunk; at-- > 0;) {
            if (block[at] == kLineEnd) {
                lastLineEnd_ = end - static_cast<long long>(chunk - at - 1);
                return;
            }
        }
        end -= static_cast<long long>(chunk);
    }
}

// At the last line end of a file opened in the middle of its last line:
// whether the file has grown meanwhile, so that the line is left out.
bool CharSource::leavesLastLineOut() {
    if (read_ != lastLineEnd_ || lastLineEnd_ >= size_) {
        return false;
    }
    const long long now = files::sizeNow(file_);
    lastLineLeftOut_ = now > size_;
    lastLineEnd_ = lastLineLeftOut_ ? lastLineEnd_ : size_;
    return lastLineLeftOut_;
}

void CharSource::openMemory(const void* data, std::size_t size) {
    close();
    start(files::kNoHandle, static_cast<long long>(size), static_cast<const unsigned char*>(data));
}

bool CharSource::close() {
    finish();
    memory_ = nullptr;
    if (file_ == files::kNoHandle) {
        return true;
    }
    const files::Handle file = file_;
    file_ = files::kNoHandle;
    return files::close(file);
}

bool CharSource::identity(files::Identity& identity) const {
    return file_ != files::kNoHandle && files::identityOf(file_, identity);
}

long long CharSource::grownBy() const {
    if (file_ == files::kNoHandle || size_ <= 0 || (read_ < size_ && !lastLineLeftOut_)) {
        return 0;
    }
    const long long now = files::sizeNow(file_);
    return now > size_ ? now - size_ : 0;
}

// Reads at most `size` bytes from the file or the memory input: how many,
// 0 at the end, -1 with errno set when reading failed.
long long CharSource::readSome(unsigned char* into, std::size_t size) {
    if (file_ != files::kNoHandle) {
        if (watcher_ == nullptr) {
            return files::read(file_, into, size);
        }
        watcher_->beforeWait();
        const long long got = files::read(file_, into, size);
        const int error = errno;
        watcher_->afterWait();
        errno = error;
        return got;
    }
    const std::size_t count = std::min(size, static_cast<std::size_t>(size_ - read_));
    if (count > 0) {  // an empty input may have no address at all
        std::memcpy(into, memory_ + read_, count);
    }
    return static_cast<long long>(count);
}

// Reads into the buffer until it holds at least `least` bytes or the input
// has nothing more to give, and returns how many it holds. The input has
// nothing more once a read finds its end or fails (the failure is
// remembered), and once as many bytes were read as a regular file had when
// it was opened: reading on would only find the end again. A file that grows
// meanwhile is read as it was opened, whatever the buffer's size; one that
// ends sooner has shrunk.
std::size_t CharSource::readBlock(std::size_t least) {
    const std::size_t size = std::max(capacity_, least);
    std::size_t count = 0;
    // A read stops at the last line end of a file opened in the middle of
    // its last line, and goes on to fill the block once the line is kept.
    while (!drained_ && (count < least || (read_ == lastLineEnd_ && lastLineEnd_ < size_))) {
        if (leavesLastLineOut()) {
            drained_ = true;
            break;
        }
        std::size_t wanted = size - count;
        if (size_ > 0) {
            const long long stop = read_ < lastLineEnd_ ? lastLineEnd_ : size_;
            wanted = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(wanted), stop - read_));
        }
        if (wanted == 0) {
            break;  // the block is full
        }
        const long long got = readSome(buffer_.get() + count, wanted);
        if (got < 0) {
            readErrno_ = errno != 0 ? errno : EIO;
        }
        if (got <= 0) {
            shrank_ = got == 0 && size_ > 0 && read_ < size_;
            drained_ = true;
            break;
        }
        count += static_cast<std::size_t>(got);
        read_ += got;
        drained_ = size_ > 0 && read_ >= size_;
    }
    return count;
}

// Brings the next block of the input into the buffer. A byte-order mark at
// the very start is dropped here and nowhere else. False when there are no
// more bytes: the input has ended, or reading it failed.
bool CharSource::refill() {
    while (!drained_) {
        const std::size_t count = readBlock(atStart_ ? kByteOrderMarkSize : 1);
        if (watcher_ != nullptr && file_ != files::kNoHandle) {
            watcher_->blockRead(read_, size_);
        }
        buffer_[count] = kSentinel;
        pos_ = buffer_.get();
        end_ = pos_ + count;
        if (atStart_) {
            atStart_ = false;
            if (end_ - pos_ >= static_cast<std::ptrdiff_t>(kByteOrderMarkSize) &&
                std::equal(kByteOrderMark, kByteOrderMark + kByteOrderMarkSize, pos_)) {
                pos_ += kByteOrderMarkSize;
            }
        }
        if (pos_ < end_) {
            return true;
        }
    }
    return false;
}

char CharSource::finish() {
    atEnd_ = true;
    drained_ = true;
    pos_ = end_ = nullptr;
    return kEndMarker;
}

char CharSource::nextFromRefill() {
    if (!refill()) {
        return finish();
    }
    return next();
}

// The bytes next() leaves to a call that are not line ends: a CR whose LF
// is not read yet, the end-of-file byte and the other control characters.
// TABs and zero bytes are delivered as they are, and noted: no text table
// means them.
char CharSource::convertControl(unsigned char byte) {
    switch (byte) {
    case kCarriageReturn:
        return convertCarriageReturn();
    case kEndOfFileByte:
        return finish();
    case kTab:
        controls_.tabs.note(line());
        return static_cast<char>(byte);
    case kZeroByte:
        controls_.zeroBytes.note(line());
        return static_cast<char>(byte);
    default:
        return static_cast<char>(byte);
    }
}

// A CR is dropped only when an LF follows it, which may be the first byte of
// the next buffer; any other byte after it stays unread.
char CharSource::convertCarriageReturn() {
    if (pos_ == end_ && refill() && *pos_ == kLineEnd) {
        return endLine(pos_ + 1);
    }
    controls_.loneCarriageReturns.note(line());
    return '\r';
}

}  // namespace morvale
