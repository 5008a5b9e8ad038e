// What a vector file keeps of the file it replaces, on Linux: owner and
// permission bits through the system's calls, the ACL through libacl, the
// other extended attributes through the xattr calls.
#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file_metadata.h"

namespace morvale::files {

namespace {

struct Kept {
    bool owner = false;
    bool group = false;
};

// Opens the file to be replaced to read what it has: never through a link,
// never waiting on a FIFO. A file that this process may write but not read
// is opened for writing; nothing is written to it.
int openReplaced(const char* name) {
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(name, O_RDONLY | kFlags);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(name, O_WRONLY | kFlags);
    }
    return fd;
}

// A change of owner that this process may not make (EPERM), or to an id
// that its user namespace cannot express (EINVAL).
bool isRefused(int error) { return error == EPERM || error == EINVAL; }

// Gives `to` the owner and group of `old` as far as this process may: only
// the superuser gives a file away, and a user may give it only a group they
// belong to. `kept` tells which of the two `to` has now, however it got them
// (a setgid folder may have given it the group already).
bool keepOwner(int to, const struct stat& old, Kept& kept) {
    struct stat now;
    if (fstat(to, &now) != 0) {
        return false;
    }
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        if (fchown(to, old.st_uid, old.st_gid) != 0) {
            if (!isRefused(errno)) {
                return false;
            }
            if (now.st_gid != old.st_gid && fchown(to, static_cast<uid_t>(-1), old.st_gid) != 0 && !isRefused(errno)) {
                return false;
            }
        }
        if (fstat(to, &now) != 0) {
            return false;
        }
    }
    kept.owner = now.st_uid == old.st_uid;
    kept.group = now.st_gid == old.st_gid;
    return true;
}

// The access ACL is copied as an ACL by copyAcl(); a regular file has no
// default ACL.
bool isAcl(const char* name) {
    return std::strcmp(name, "system.posix_acl_access") == 0 || std::strcmp(name, "system.posix_acl_default") == 0;
}

// Whether an attribute that could not be copied may be left out: one that
// only privilege or the system's security policy may set, refused as such.
// Anything else, a user's own attribute above all, fails the copy.
bool mayLeaveOut(const char* name, int error) {
    const bool privileged = std::strncmp(name, "trusted.", 8) == 0 || std::strncmp(name, "security.", 9) == 0;
    return privileged && (error == EPERM || error == EACCES || error == ENOTSUP);
}

// Reads into `into` what `get` gives, a list of names or a value: asks for
// its size first, and again if it grew in between. Most files have no
// attributes at all, which costs one call.
template <typename Get>
ssize_t readWhole(std::string& into, Get get) {
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size <= 0) {
            return size;
        }
        into.resize(static_cast<std::size_t>(size));
        const ssize_t got = get(&into[0], into.size());
        if (got >= 0 || errno != ERANGE) {
            return got;
        }
    }
}

bool copyAttributes(int from, int to) {
    std::string names;
    const ssize_t size = readWhole(names, [&](char* into, std::size_t room) { return flistxattr(from, into, room); });
    if (size < 0) {
        return errno == ENOTSUP;  // a file system without attributes
    }
    std::string value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(size); at += std::strlen(&names[at]) + 1) {
        const char* name = &names[at];
        if (isAcl(name)) {
            continue;
        }
        const ssize_t length =
            readWhole(value, [&](char* into, std::size_t room) { return fgetxattr(from, name, into, room); });
        if (length < 0 && errno == ENODATA) {
            continue;  // removed since it was listed
        }
        if ((length < 0 || fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0) &&
            !mayLeaveOut(name, errno)) {
            return false;
        }
    }
    return true;
}

// Limits the owning group's entry of `acl` to what others may do.
bool limitOwningGroup(acl_t acl) {
    acl_entry_t group = nullptr;
    acl_permset_t others = nullptr;
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(entry, &tag) != 0) {
            return false;
        }
        if (tag == ACL_GROUP_OBJ) {
            group = entry;
        } else if (tag == ACL_OTHER && acl_get_permset(entry, &others) != 0) {
            return false;
        }
    }
    acl_permset_t rights;
    if (group == nullptr || others == nullptr || acl_get_permset(group, &rights) != 0) {
        errno = EINVAL;
        return false;
    }
    for (const acl_perm_t perm : {ACL_READ, ACL_WRITE, ACL_EXECUTE}) {
        if (acl_get_perm(others, perm) == 0 && acl_delete_perm(rights, perm) != 0) {
            return false;
        }
    }
    return acl_set_permset(group, rights) == 0;
}

// Gives `to` the access ACL of `from` whole, so that its mask stays a mask,
// and with it any entries that `to` got from its folder's default ACL go.
// `extended` tells whether the ACL says more than the permission bits; on a
// file system without ACLs it says nothing more.
bool copyAcl(int from, int to, const Kept& kept, bool& extended) {
    extended = false;
    const acl_t acl = acl_get_fd(from);
    if (acl == nullptr) {
        return errno == ENOTSUP;
    }
    extended = acl_equiv_mode(acl, nullptr) != 0;
    bool copied = (kept.group || !extended || limitOwningGroup(acl)) && acl_set_fd(to, acl) == 0;
    // An ACL of the owner, group and others alone is the permission bits.
    if (!copied && !extended && errno == ENOTSUP) {
        copied = true;
    }
    const int error = errno;
    acl_free(acl);
    errno = error;
    return copied;
}

// The permission bits `to` gets from `old`. When `to` has a group of its
// own, that group gets no more than others; with an extended ACL the group
// bits are the mask, and copyAcl() limited the group's entry instead.
mode_t keptMode(const struct stat& old, const Kept& kept, bool extendedAcl) {
    mode_t mode = old.st_mode & 07777;
    if (!kept.owner) {
        mode &= ~static_cast<mode_t>(S_ISUID);
    }
    if (!kept.group) {
        mode &= ~static_cast<mode_t>(S_ISGID);
        if (!extendedAcl) {
            mode &= ~(S_IRWXG & ~((mode & S_IRWXO) << 3));
        }
    }
    return mode;
}

// The order matters: a change of owner clears the set-ID bits and file
// capabilities, so attributes and bits come after it; attributes come
// before the bits, which may take away the owner's right to set them.
bool keepFrom(int from, int to) {
    struct stat old;
    if (fstat(from, &old) != 0) {
        return false;
    }
    if (!S_ISREG(old.st_mode)) {
        errno = ENODEV;  // replaced by something else meanwhile
        return false;
    }
    Kept kept;
    bool extendedAcl = false;
    return keepOwner(to, old, kept) && copyAttributes(from, to) && copyAcl(from, to, kept, extendedAcl) &&
           fchmod(to, keptMode(old, kept, extendedAcl)) == 0;
}

}  // namespace

bool keepMetadata(const char* replaced, Handle created) {
    const int from = openReplaced(replaced);
    if (from < 0) {
        return false;
    }
    const bool kept = keepFrom(from, static_cast<int>(created));
    const int error = errno;
    ::close(from);
    errno = error;
    return kept;
}

NewFileAccess newFilePermissions(Handle source) {
    if (source == kNoHandle) {
        return NewFileAccess(0666);
    }
    struct stat info;
    if (fstat(static_cast<int>(source), &info) != 0) {
        return NewFileAccess(0600);  // nothing known of it: its owner's alone
    }
    unsigned bits = static_cast<unsigned>((info.st_mode & 0666) | S_IWUSR);
    const int extended = acl_extended_fd(static_cast<int>(source));
    if (extended == 1 || (extended < 0 && errno != ENOTSUP && errno != EOPNOTSUPP)) {  // or it cannot be told
        bits = groupNoMoreThanOthers(bits);
    }
    NewFileAccess access(bits);
    access.group = static_cast<long long>(info.st_gid);
    return access;
}

}  // namespace morvale::files
