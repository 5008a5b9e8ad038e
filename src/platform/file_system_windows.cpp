// The file system on Windows.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>

#include "platform/file_system_detail.h"
#include "platform/wide_text.h"

namespace morvale::files {

namespace {

HANDLE handleOf(Handle file) { return reinterpret_cast<HANDLE>(file); }

using detail::failWithLastError;

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


bool isDirectory(const std::wstring& name) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool identityOfHandle(HANDLE handle, Identity& identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        return failWithLastError();
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (identity.index != 0) {
        return true;
    }
    // Some file systems have no file indexes and give 0 for every file:
    // there the full name that the system resolves the file to stands in,
    // which tells files apart though not two links to one file.
    wchar_t final[MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleW(handle, final, MAX_PATH, FILE_NAME_NORMALIZED);
    if (length == 0) {
        return failWithLastError();
    }
    std::wstring full;
    if (length < MAX_PATH) {
        full.assign(final, length);
    } else {
        full.resize(length);
        const DWORD got = GetFinalPathNameByHandleW(handle, &full[0], length, FILE_NAME_NORMALIZED);
        if (got == 0 || got >= length) {
            return failWithLastError();
        }
        full.resize(got);
    }
    identity.index = std::hash<std::wstring>()(full) | 1;
    return true;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether the last part of `name` is a name that Windows keeps for a device
// (CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, also with the digits
// written small, and the console's CONIN$ and CONOUT$), in any letter case,
// with any extension and blanks before it: opening one reaches the device,
// which may never answer, instead of a file.
bool isDeviceName(const char* name) {
    const char* leaf = name;
    if (isAsciiLetter(name[0]) && name[1] == ':') {
        leaf = name + 2;
    }
    for (const char* at = leaf; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\') {
            leaf = at + 1;
        }
    }
    std::size_t length = std::strcspn(leaf, ".:");
    while (length > 0 && leaf[length - 1] == ' ') {
        --length;
    }
    std::string stem(leaf, length);
    std::transform(stem.begin(), stem.end(), stem.begin(), upper);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (stem == device) {
            return true;
        }
    }
    if (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0) {
        return false;
    }
    const std::string digit = stem.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
           digit == "\xC2\xB3";
}

// The old limit of a name's length, 260 characters (248 for a folder,
// counting what a file name inside it adds).
constexpr std::size_t kOldLimit = MAX_PATH - 12;

bool hasLongNamePrefix(const std::wstring& wide) { return wide.compare(0, 4, L"\\\\?\\") == 0; }

// Makes `wide` a full path, with the prefix that lifts the old length limit
// when it reaches that limit: only a full path may carry the prefix.
bool makeFull(std::wstring& wide) {
    if (hasLongNamePrefix(wide)) {
        return true;
    }
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return failWithLastError();
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size) {
        return failWithLastError();
    }
    full.resize(length);
    if (full.size() < kOldLimit) {
        wide = full;
    } else if (full.compare(0, 2, L"\\\\") == 0) {
        wide = L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    } else {
        wide = L"\\\\?\\" + full;
    }
    return true;
}

}  // namespace

// A name at or past the old length limit is made a full path with the
// prefix that lifts the limit.
bool systemName(const char* name, std::wstring& wide) {
    if (!wideFromUtf8(name, wide)) {
        errno = EINVAL;
        return false;
    }
    return wide.size() < kOldLimit || makeFull(wide);
}

Handle openForReading(const char* name, long long& size) {
    if (isDeviceName(name)) {
        errno = kNotRegularFile;
        return kNoHandle;
    }
    std::wstring wide;
    if (!systemName(name, wide)) {
        return kNoHandle;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        int error = errnoFromLastError();
        // Windows calls opening a folder as a file a denied access.
        if (error == EACCES && isDirectory(wide)) {
            error = EISDIR;
        }
        // No file can have `*` or `?` in its name: a pattern that matched
        // nothing names a missing file, as it does elsewhere.
        if (error == EINVAL && std::strpbrk(name, "*?") != nullptr) {
            error = ENOENT;
        }
        errno = error;
        return kNoHandle;
    }
    size = -1;
    LARGE_INTEGER bytes;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &bytes) && bytes.QuadPart > 0) {
        size = bytes.QuadPart;
    }
    return reinterpret_cast<Handle>(handle);
}

namespace detail {

long long systemRead(Handle file, void* buffer, std::size_t size) {
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

bool systemClose(Handle file) { return CloseHandle(handleOf(file)) != 0 || failWithLastError(); }

bool systemWriteAll(Handle file, const void* bytes, std::size_t size) {
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

Handle createExclusive(const std::string& name, const Entry&, const NewFileAccess&) {
    std::wstring wide;
    if (!systemName(name.c_str(), wide)) {
        return kNoHandle;
    }
    // Shared for deletion, so that an interruption can remove the file while
    // it is still open.
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError();  // EEXIST when the name is taken
        return kNoHandle;
    }
    return reinterpret_cast<Handle>(handle);
}

unsigned long processId() { return GetCurrentProcessId(); }

bool failWithLastError() {
    errno = errnoFromLastError();
    return false;
}

bool systemIdentityOf(Handle file, Identity& identity) { return identityOfHandle(handleOf(file), identity); }

bool systemIdentityOf(const char* name, Identity& identity) {
    if (isDeviceName(name)) {
        errno = kNotRegularFile;
        return false;
    }
    // No access is asked for and every kind of sharing allowed: only the
    // file's information is read, whoever else has it open.
    std::wstring wide;
    if (!systemName(name, wide)) {
        return false;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return failWithLastError();
    }
    const bool known = identityOfHandle(handle, identity);
    const int error = errno;
    CloseHandle(handle);
    errno = error;
    return known;
}

// An interruption removes files from a thread of its own, which Windows
// starts for Ctrl-C, Ctrl-Break and the console's closing, beside the main
// one: converting the name there is safe.
bool systemRemove(const char* name) {
    if (*name == '\0') {
        errno = ENOENT;
        return false;
    }
    std::wstring wide;
    return systemName(name, wide) && (DeleteFileW(wide.c_str()) != 0 || failWithLastError());
}

}  // namespace detail

// A read at an offset moves a handle opened for reading in sequence: it is
// put back where it was.
long long readAt(Handle file, long long offset, void* buffer, std::size_t size) {
    LARGE_INTEGER was = {};
    LARGE_INTEGER none = {};
    if (!SetFilePointerEx(handleOf(file), none, &was, FILE_CURRENT)) {
        failWithLastError();
        return -1;
    }
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD count = 0;
    const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    const bool read = ReadFile(handleOf(file), buffer, wanted, &count, &at) != 0 || GetLastError() == ERROR_HANDLE_EOF;
    const int error = read ? 0 : (failWithLastError(), errno);
    SetFilePointerEx(handleOf(file), was, nullptr, FILE_BEGIN);
    errno = error;
    return read ? static_cast<long long>(count) : -1;
}

long long sizeNow(Handle file) {
    LARGE_INTEGER bytes;
    if (GetFileType(handleOf(file)) != FILE_TYPE_DISK || !GetFileSizeEx(handleOf(file), &bytes)) {
        return -1;
    }
    return bytes.QuadPart;
}

Entry examine(const char* name) {
    Entry entry;
    if (isDeviceName(name)) {
        entry.kind = Kind::Other;
        return entry;
    }
    std::wstring wide;
    if (!systemName(name, wide)) {
        entry.kind = Kind::Other;
        entry.error = errno;
        return entry;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
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

// No access is asked for: the file is only looked at, and a link followed.
bool leadsToRegularFile(const char* name) {
    std::wstring wide;
    if (isDeviceName(name) || !systemName(name, wide)) {
        return false;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(handle);
    return regular;
}

// Windows writes a file back on its own and FlushFileBuffers() has no
// asynchronous form.
void startWriteBack(Handle, long long, long long) {}

bool detail::systemSyncToDisk(Handle file) { return FlushFileBuffers(handleOf(file)) != 0 || failWithLastError(); }

bool mayBeSameName(const std::string& one, const std::string& other) {
    std::wstring oneLeaf;
    std::wstring otherLeaf;
    if (!wideFromUtf8(one.c_str() + leafStart(one), oneLeaf) || !wideFromUtf8(other.c_str() + leafStart(other), otherLeaf)) {
        return true;  // not UTF-8: nothing tells them apart
    }
    return CompareStringOrdinal(oneLeaf.c_str(), static_cast<int>(oneLeaf.size()), otherLeaf.c_str(),
                                static_cast<int>(otherLeaf.size()), TRUE) == CSTR_EQUAL;
}

bool replace(const char* from, const char* to) {
    std::wstring wideFrom;
    std::wstring wideTo;
    if (!systemName(from, wideFrom) || !systemName(to, wideTo)) {
        return false;
    }
    // A regular file is replaced by the system's own call for it, which
    // gives the new file the old one's access rules (its DACL), and its
    // streams, encryption and compression, or fails and changes nothing.
    const DWORD attributes = GetFileAttributesW(wideTo.c_str());
    const bool regular = attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    if (regular) {
        // It takes full paths only, on some systems.
        if (!makeFull(wideTo) || !makeFull(wideFrom)) {
            return false;
        }
        if (ReplaceFileW(wideTo.c_str(), wideFrom.c_str(), nullptr, 0, nullptr, nullptr)) {
            return true;
        }
        // Gone in between, there is nothing left to keep: a move will do.
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return failWithLastError();
        }
    }
    return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
           failWithLastError();
}

// A folder cannot be flushed as a file is; flushing a file of it commits the
// volume's log, which holds every renaming into the folder before it.
bool detail::systemSyncFolderOf(const std::string& renamed) {
    std::wstring wide;
    if (!systemName(renamed.c_str(), wide)) {
        return false;
    }
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A program that opened the new file at once without sharing it for
        // writing (a viewer) keeps it from being flushed again: its bytes
        // were flushed before it took its name, and its renaming is as safe
        // as this process can make it, as in a folder that cannot be synced.
        return GetLastError() == ERROR_SHARING_VIOLATION || failWithLastError();
    }
    const bool flushed = FlushFileBuffers(file) != 0 || failWithLastError();
    const int error = errno;
    CloseHandle(file);
    errno = error;
    return flushed;
}

// Windows sets no limit of its own on a process's open files that a batch
// could reach.
long openFileRoom() { return 1L << 20; }

}  // namespace morvale::files
