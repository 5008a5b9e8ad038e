// CharSource: buffered binary reading and the input's text conventions.
#include "table/char_source.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

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

void CharSource::start(std::FILE* file, const unsigned char* data, std::size_t size) {
    file_ = file;
    pos_ = data;
    end_ = data + size;
    atEnd_ = false;
    drained_ = file == nullptr;
    readErrno_ = 0;
    linesEnded_ = 0;
}

bool CharSource::open(const char* name) {
    close();
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
#ifdef _WIN32
        // Windows cannot open a folder as a file either, but calls it a
        // denied access.
        const int error = errno;
        const DWORD attributes = GetFileAttributesA(name);
        errno = error == EACCES && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                    ? EISDIR
                    : error;
#endif
        return false;
    }
#ifndef _WIN32
    // Reading a directory only fails at the first read on some systems; refuse
    // it here, as the platforms that cannot open one at all do.
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return false;
    }
#endif
    // The source's own buffer is the only one: stdio would copy every byte.
    std::setvbuf(file, nullptr, _IONBF, 0);
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
    start(nullptr, bytes, size);
}

bool CharSource::close() {
    atEnd_ = true;
    drained_ = true;
    pos_ = end_ = nullptr;
    if (file_ == nullptr) {
        return true;
    }
    const int result = std::fclose(file_);
    file_ = nullptr;
    return result == 0;
}

#ifdef _WIN32

namespace {

// A Windows file's identity: its volume and its index on that volume.
bool identityOfHandle(HANDLE handle, unsigned long long& device, unsigned long long& inode) {
    BY_HANDLE_FILE_INFORMATION info;
    // Some file systems have no file indexes and give 0 for every file.
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info) ||
        (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) {
        return false;
    }
    device = info.dwVolumeSerialNumber;
    inode = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

bool CharSource::identity(unsigned long long& device, unsigned long long& inode) const {
    return file_ != nullptr &&
           identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_))), device, inode);
}

bool CharSource::identityOf(const char* name, unsigned long long& device, unsigned long long& inode) {
    // No access is asked for and every kind of sharing allowed: only the
    // file's information is read, whoever else has it open.
    const HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = identityOfHandle(handle, device, inode);
    CloseHandle(handle);
    return known;
}

#else

bool CharSource::identity(unsigned long long& device, unsigned long long& inode) const {
    struct stat info;
    if (file_ != nullptr && fstat(fileno(file_), &info) == 0) {
        device = static_cast<unsigned long long>(info.st_dev);
        inode = static_cast<unsigned long long>(info.st_ino);
        return true;
    }
    return false;
}

bool CharSource::identityOf(const char* name, unsigned long long& device, unsigned long long& inode) {
    struct stat info;
    if (stat(name, &info) != 0) {
        return false;
    }
    device = static_cast<unsigned long long>(info.st_dev);
    inode = static_cast<unsigned long long>(info.st_ino);
    return true;
}

#endif

// The first bytes are read on their own so that a byte-order mark can be
// dropped before anything is delivered; they stay in the buffer otherwise.
void CharSource::skipByteOrderMark() {
    unsigned char* buffer = buffer_.get();
    errno = 0;
    const std::size_t count = std::fread(buffer, 1, kByteOrderMarkSize, file_);
    if (count < kByteOrderMarkSize && std::ferror(file_)) {
        readErrno_ = errno != 0 ? errno : EIO;
        drained_ = true;
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
    errno = 0;
    const std::size_t count = std::fread(buffer_.get(), 1, capacity_, file_);
    if (count == 0) {
        if (std::ferror(file_)) {
            readErrno_ = errno != 0 ? errno : EIO;
        }
        drained_ = true;
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
