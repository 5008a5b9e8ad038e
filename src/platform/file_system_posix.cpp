// The file system on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/file_system_detail.h"

namespace morvale::files {

namespace {

int descriptor(Handle file) { return static_cast<int>(file); }

Identity identityFrom(const struct stat& info) {
    return Identity{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

// Gives the group of a new file no more than others, unless it is the
// group its bits were meant for.
bool narrowForItsGroup(int fd, long long group) {
    struct stat info;
    if (group < 0) {
        return true;
    }
    if (fstat(fd, &info) != 0) {
        return false;
    }
    if (static_cast<long long>(info.st_gid) == group) {
        return true;
    }
    return fchmod(fd, static_cast<mode_t>(groupNoMoreThanOthers(info.st_mode & 0777))) == 0;
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

Handle createExclusive(const std::string& name, const Entry& replaced, const NewFileAccess& access) {
    // A replaced file's own bits come only once the file is written; until
    // then nobody but its owner may read it.
    const bool replacing = replaced.kind == Kind::Regular;
    const mode_t mode = replacing ? 0600 : static_cast<mode_t>(access.permissions);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        return kNoHandle;
    }
    if (!replacing && !narrowForItsGroup(fd, access.group)) {
        const int error = errno;
        ::close(fd);
        unlink(name.c_str());
        errno = error;
        return kNoHandle;
    }
    return fd;
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

long long readAt(Handle file, long long offset, void* buffer, std::size_t size) {
    return static_cast<long long>(pread(descriptor(file), buffer, size, static_cast<off_t>(offset)));
}

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

bool leadsToRegularFile(const char* name) {
    struct stat info;
    return stat(name, &info) == 0 && S_ISREG(info.st_mode);
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

// A file system that ignores letter case or normalizes Unicode (a volume
// made so, a share) may take different bytes outside ASCII for one name, and
// an ASCII letter with a combining mark after it for a letter outside ASCII:
// only the other ASCII characters tell two names apart for sure.
bool mayBeSameName(const std::string& one, const std::string& other) {
    const auto folded = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    // The next character at or after `at` that tells names apart, or end.
    const auto nextTelling = [](const std::string& name, std::size_t at) {
        const auto byte = [&name](std::size_t i) { return i < name.size() ? static_cast<unsigned char>(name[i]) : 0; };
        for (; at < name.size(); ++at) {
            // U+0300 to U+036F, the combining diacritical marks, in UTF-8.
            const bool marked = byte(at + 1) == 0xCC || (byte(at + 1) == 0xCD && byte(at + 2) < 0xB0);
            if (byte(at) < 0x80 && !marked) {
                break;
            }
        }
        return at;
    };
    std::size_t a = leafStart(one);
    std::size_t b = leafStart(other);
    for (;;) {
        a = nextTelling(one, a);
        b = nextTelling(other, b);
        if (a == one.size() || b == other.size()) {
            return a == one.size() && b == other.size();
        }
        if (folded(one[a++]) != folded(other[b++])) {
            return false;
        }
    }
}

bool replace(const char* from, const char* to) { return rename(from, to) == 0; }

bool detail::systemSyncFolderOf(const std::string& renamed) {
    const std::size_t leaf = leafStart(renamed);
    const std::string folder = leaf == 0 ? std::string(".") : renamed.substr(0, leaf);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A folder that may be written and searched but not read (a drop
        // box) cannot be opened to be synced: its renamings are as safe as
        // this process can make them, as on a file system that cannot sync.
        return errno == EACCES || errno == EPERM;
    }
    const bool synced = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

namespace {

// What stands for no limit: more than a run could ever open.
constexpr long kNoLimit = 1L << 20;
// How far descriptors are probed one by one where the system does not list
// them: a limit above this leaves room enough whatever is open below it.
constexpr int kProbedDescriptors = 4096;

long softLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > static_cast<rlim_t>(kNoLimit)) {
        return kNoLimit;
    }
    return static_cast<long>(limit.rlim_cur);
}

// How many descriptors below `limit` are open: those the system lists for
// the process, its own listing's left out, or else each one probed.
long openBelow(long limit) {
    long open = 0;
    if (DIR* const listing = opendir("/proc/self/fd")) {
        const int own = dirfd(listing);
        while (const dirent* const entry = readdir(listing)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            open += entry->d_name[0] != '.' && *end == '\0' && fd != own && fd < limit ? 1 : 0;
        }
        closedir(listing);
        return open;
    }
    for (int fd = 0; fd < std::min(limit, static_cast<long>(kProbedDescriptors)); ++fd) {
        open += fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    }
    return open;
}

}  // namespace

long openFileRoom() {
    const long limit = softLimit();
    return limit - openBelow(limit);
}

}  // namespace morvale::files
