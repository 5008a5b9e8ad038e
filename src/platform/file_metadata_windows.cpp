// What a vector file keeps of the file it replaces, on Windows: the
// attributes a user sets. Its access rules pass with the replacement.
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/file_metadata.h"
#include "platform/file_system_detail.h"

namespace morvale::files {

namespace {

// The attributes a user gives a file that say nothing of its bytes.
// Read-only never gets this far (the file is refused), and a new file is one
// that a backup must take, so archive stays set.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A handle closed however the function that holds it returns.
struct Owned {
    HANDLE handle;
    ~Owned() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};

}  // namespace

bool keepMetadata(const char* replaced, Handle created) {
    std::wstring wide;
    if (!systemName(replaced, wide)) {
        return false;
    }
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const Owned from{CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    // The new file was opened for writing its bytes alone; the right to
    // change its attributes is asked for here, on the same file.
    const Owned to{ReOpenFile(reinterpret_cast<HANDLE>(created), FILE_WRITE_ATTRIBUTES, kShareAll, 0)};
    FILE_BASIC_INFO old;
    if (from.handle == INVALID_HANDLE_VALUE || to.handle == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandleEx(from.handle, FileBasicInfo, &old, sizeof old)) {
        return detail::failWithLastError();
    }
    if ((old.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        errno = kNotRegularFile;  // replaced by something else meanwhile
        return false;
    }
    // Times left at zero stay as they are.
    FILE_BASIC_INFO attributes = {};
    attributes.FileAttributes = FILE_ATTRIBUTE_ARCHIVE | (old.FileAttributes & kKeptAttributes);
    return SetFileInformationByHandle(to.handle, FileBasicInfo, &attributes, sizeof attributes) ||
           detail::failWithLastError();
}

NewFileAccess newFilePermissions(Handle) { return NewFileAccess(0666); }

}  // namespace morvale::files
