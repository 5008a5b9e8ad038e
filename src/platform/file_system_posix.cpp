// The file system on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system_detail.h"

namespace morvale::files {

namespace {

int descriptor(Handle file) { return static_cast<int>(file); }

Identity identityFrom(const struct stat& info) {
    return Identity{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

}  // namespace

Handle openForReading(const char* name, long long& size) {
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return kNoHandle;
    }
    size = -1;
    struct stat info;
    if (fstat(fd, &info) == 0) {
        // Some systems open a directory and only fail at its first read;
        // refuse it here, as the systems that cannot open one at all do.
        if (S_ISDIR(info.st_mode)) {
            ::close(fd);
            errno = EISDIR;
            return kNoHandle;
        }
        // Files of system tables (/proc) say 0 whatever they hold.
        if (S_ISREG(info.st_mode) && info.st_size > 0) {
            size = static_cast<long long>(info.st_size);
        }
    }
    return fd;
}

namespace detail {

long long systemRead(Handle file, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::read(descriptor(file), buffer, size);
        if (count >= 0 || errno != EINTR) {
            return count;
        }
    }
}

// A descriptor is released even when close() fails, so it is never closed
// twice.
bool systemClose(Handle file) { return ::close(descriptor(file)) == 0; }

bool systemWriteAll(Handle file, const void* bytes, std::size_t size) {
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t count = ::write(descriptor(file), at, size);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        at += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

Handle createExclusive(const std::string& name, const Entry& replaced, unsigned permissions) {
    // A replaced file's own bits come only once the file is written; until
    // then nobody but its owner may read it.
    const mode_t mode = replaced.kind == Kind::Regular ? 0600 : static_cast<mode_t>(permissions);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    return fd < 0 ? kNoHandle : fd;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

bool systemIdentityOf(Handle file, Identity& identity) {
    struct stat info;
    if (fstat(descriptor(file), &info) != 0) {
        return false;
    }
    identity = identityFrom(info);
    return true;
}

bool systemIdentityOf(const char* name, Identity& identity) {
    struct stat info;
    if (stat(name, &info) != 0) {
        return false;
    }
    identity = identityFrom(info);
    return true;
}

bool systemRemove(const char* name) { return unlink(name) == 0; }

}  // namespace detail

long long sizeNow(Handle file) {
    struct stat info;
    if (fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return static_cast<long long>(info.st_size);
}

Entry examine(const char* name) {
    Entry entry;
    struct stat info;
    if (lstat(name, &info) != 0) {
        if (errno == ENOENT) {
            entry.kind = Kind::Missing;
        } else {
            entry.kind = Kind::Other;
            entry.error = errno;
        }
        return entry;
    }
    if (S_ISREG(info.st_mode)) {
        entry.kind = Kind::Regular;
        entry.permissions = static_cast<unsigned>(info.st_mode & 07777);
        // access() lets the superuser write anything; a file with no write
        // bit at all is still one its owner wants kept.
        if (access(name, W_OK) != 0) {
            entry.error = errno;
        } else if ((info.st_mode & 0222) == 0) {
            entry.error = EACCES;
        } else {
            entry.writable = true;
        }
    } else if (S_ISLNK(info.st_mode)) {
        entry.kind = Kind::SymbolicLink;
    } else if (S_ISDIR(info.st_mode)) {
        entry.kind = Kind::Directory;
    } else {
        entry.kind = Kind::Other;
    }
    return entry;
}

void startWriteBack(Handle file, long long offset, long long size) {
#ifdef __linux__
    // A failure here shows again, and is reported, at the fsync.
    sync_file_range(descriptor(file), static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
    static_cast<void>(file);
    static_cast<void>(offset);
    static_cast<void>(size);
#endif
}

// Some file systems cannot sync at all; their files are as safe as they can
// be made.
bool detail::systemSyncToDisk(Handle file) {
    return fsync(descriptor(file)) == 0 || errno == EINVAL || errno == ENOTSUP;
}

bool mayBeSameName(const std::string& one, const std::string& other) {
    const std::size_t oneLeaf = leafStart(one);
    const std::size_t otherLeaf = leafStart(other);
    if (one.size() - oneLeaf != other.size() - otherLeaf) {
        return false;
    }
    const auto folded = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; oneLeaf + i < one.size(); ++i) {
        if (folded(one[oneLeaf + i]) != folded(other[otherLeaf + i])) {
            return false;
        }
    }
    return true;
}

bool replace(const char* from, const char* to) { return rename(from, to) == 0; }

}  // namespace morvale::files
