// The file system on Windows.
#include <windows.h>

#include <cerrno>

#include "platform/file_system_detail.h"

namespace morvale::files {

namespace {

HANDLE handleOf(Handle file) { return reinterpret_cast<HANDLE>(file); }

// The C library's name for the last Windows error, so that every failure is
// reported the same way on every system.
int errnoFromLastError() {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    default:
        return EIO;
    }
}

bool failWithLastError() {
    errno = errnoFromLastError();
    return false;
}

bool isDirectory(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool identityOfHandle(HANDLE handle, Identity& identity) {
    BY_HANDLE_FILE_INFORMATION info;
    // Some file systems have no file indexes and give 0 for every file.
    if (!GetFileInformationByHandle(handle, &info) || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) {
        return false;
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

Handle openForReading(const char* name) {
    const HANDLE handle = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const int error = errnoFromLastError();
        // Windows calls opening a folder as a file a denied access.
        errno = error == EACCES && isDirectory(name) ? EISDIR : error;
        return kNoHandle;
    }
    return reinterpret_cast<Handle>(handle);
}

long long read(Handle file, void* buffer, std::size_t size) {
    if (const int fault = detail::takeReadFault()) {
        errno = fault;
        return -1;
    }
    DWORD count = 0;
    const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(handleOf(file), buffer, wanted, &count, nullptr)) {
        // The writer of a pipe has gone: that is the pipe's end, not a failure.
        if (GetLastError() == ERROR_BROKEN_PIPE) {
            return 0;
        }
        failWithLastError();
        return -1;
    }
    return count;
}

bool close(Handle file) {
    const int fault = detail::takeCloseFault();
    const bool closed = CloseHandle(handleOf(file)) != 0 || failWithLastError();
    if (fault != 0) {
        errno = fault;
        return false;
    }
    return closed;
}

bool identityOf(Handle file, Identity& identity) { return identityOfHandle(handleOf(file), identity); }

bool identityOf(const char* name, Identity& identity) {
    // No access is asked for and every kind of sharing allowed: only the
    // file's information is read, whoever else has it open.
    const HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = identityOfHandle(handle, identity);
    CloseHandle(handle);
    return known;
}

Entry examine(const char* name) {
    Entry entry;
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            entry.kind = Kind::Missing;
        } else {
            entry.kind = Kind::Other;
            entry.error = errnoFromLastError();
        }
        return entry;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        entry.kind = Kind::SymbolicLink;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        entry.kind = Kind::Directory;
    } else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        entry.kind = Kind::Other;
    } else {
        entry.kind = Kind::Regular;
        entry.writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    }
    return entry;
}

Handle createBeside(const std::string& target, const Entry&, std::string& created) {
    for (int attempt = 0; attempt < detail::kCreateAttempts; ++attempt) {
        const std::string name = detail::incompleteName(target, GetCurrentProcessId(), attempt);
        // Shared for deletion, so that an interruption can remove the file
        // while it is still open.
        const HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) {
                continue;
            }
            failWithLastError();
            return kNoHandle;
        }
        created = name;
        return reinterpret_cast<Handle>(handle);
    }
    errno = EEXIST;
    return kNoHandle;
}

bool writeAll(Handle file, const void* bytes, std::size_t size) {
    if (const int fault = detail::takeWriteFault()) {
        errno = fault;
        return false;
    }
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handleOf(file), at, part, &written, nullptr)) {
            return failWithLastError();
        }
        at += written;
        size -= written;
    }
    return true;
}

bool syncToDisk(Handle file) { return FlushFileBuffers(handleOf(file)) != 0 || failWithLastError(); }

bool replace(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 || failWithLastError();
}

bool remove(const char* name) { return DeleteFileA(name) != 0; }

}  // namespace morvale::files
