// CharSource: buffered binary reading and the input's text conventions.
#include "table/char_source.h"

#include <algorithm>
#include <cerrno>

namespace morvale {

namespace {

constexpr unsigned char kLineEnd = 0x0A;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kEndOfFileByte = 0x1A;
constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t kByteOrderMarkSize = sizeof kByteOrderMark;

}  // namespace

CharSource::CharSource(std::size_t bufferSize)
    : buffer_(new unsigned char[std::max(bufferSize, kByteOrderMarkSize)]),
      capacity_(std::max<std::size_t>(bufferSize, 1)) {}

CharSource::~CharSource() { close(); }

void CharSource::start(files::Handle file, const unsigned char* data, std::size_t size) {
    file_ = file;
    pos_ = data;
    end_ = data + size;
    atEnd_ = false;
    drained_ = file == files::kNoHandle;
    readErrno_ = 0;
    linesEnded_ = 0;
}

bool CharSource::open(const char* name) {
    close();
    const files::Handle file = files::openForReading(name);
    if (file == files::kNoHandle) {
        return false;
    }
    start(file, nullptr, 0);
    skipByteOrderMark();
    return true;
}

void CharSource::openMemory(const void* data, std::size_t size) {
    close();
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size >= kByteOrderMarkSize && std::equal(bytes, bytes + kByteOrderMarkSize, kByteOrderMark)) {
        bytes += kByteOrderMarkSize;
        size -= kByteOrderMarkSize;
    }
    start(files::kNoHandle, bytes, size);
}

bool CharSource::close() {
    atEnd_ = true;
    drained_ = true;
    pos_ = end_ = nullptr;
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

// Reads up to `size` bytes; 0 once the file has nothing more to give or
// reading failed, which is then remembered.
std::size_t CharSource::readInto(unsigned char* buffer, std::size_t size) {
    const long long count = files::read(file_, buffer, size);
    if (count < 0) {
        readErrno_ = errno != 0 ? errno : EIO;
    }
    if (count <= 0) {
        drained_ = true;
        return 0;
    }
    return static_cast<std::size_t>(count);
}

// The first bytes are read on their own so that a byte-order mark can be
// dropped before anything is delivered; they stay in the buffer otherwise.
void CharSource::skipByteOrderMark() {
    unsigned char* buffer = buffer_.get();
    // A read may return fewer bytes than asked without being at the end.
    std::size_t count = 0;
    while (count < kByteOrderMarkSize && !drained_) {
        count += readInto(buffer + count, kByteOrderMarkSize - count);
    }
    if (count == kByteOrderMarkSize && std::equal(buffer, buffer + count, kByteOrderMark)) {
        pos_ = end_ = buffer;
    } else {
        pos_ = buffer;
        end_ = buffer + count;
    }
}

bool CharSource::refill() {
    if (drained_) {
        return false;
    }
    const std::size_t count = readInto(buffer_.get(), capacity_);
    if (count == 0) {
        return false;
    }
    pos_ = buffer_.get();
    end_ = pos_ + count;
    return true;
}

char CharSource::finish() {
    atEnd_ = true;
    drained_ = true;
    pos_ = end_ = nullptr;
    return kEndMarker;
}

char CharSource::nextFromRefill() {
    if (atEnd_ || !refill()) {
        return finish();
    }
    return next();
}

// The bytes next() leaves to a call: a CR whose LF is not in the buffer yet,
// the end-of-file byte and the other control characters (line ends never
// come here).
char CharSource::convert(unsigned char byte) {
    switch (byte) {
    case kCarriageReturn:
        return convertCarriageReturn();
    case kEndOfFileByte:
        return finish();
    default:
        return static_cast<char>(byte);
    }
}

// A CR is dropped only when an LF follows it, which may be the first byte of
// the next buffer; any other byte after it stays unread.
char CharSource::convertCarriageReturn() {
    if (pos_ == end_ && !refill()) {
        return '\r';
    }
    if (*pos_ != kLineEnd) {
        return '\r';
    }
    ++pos_;
    ++linesEnded_;
    return '\n';
}

}  // namespace morvale
