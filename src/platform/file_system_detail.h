// What each system's implementation of the file system provides beneath the
// calls that every system shares (file_system.cpp): the test seam and the
// choice of a fresh name are written once, over these primitives.
#ifndef MORVALE_PLATFORM_FILE_SYSTEM_DETAIL_H
#define MORVALE_PLATFORM_FILE_SYSTEM_DETAIL_H

#include <cstddef>
#include <string>

#include "platform/file_system.h"

namespace morvale::files::detail {

// The system's own read, write, close, remove and identity lookups, each as
// its public counterpart describes it, with no fault injected.
long long systemRead(Handle file, void* buffer, std::size_t size);
bool systemWriteAll(Handle file, const void* bytes, std::size_t size);
bool systemClose(Handle file);
bool systemSyncToDisk(Handle file);
bool systemSyncFolderOf(const std::string& renamed);
bool systemRemove(const char* name);
bool systemIdentityOf(Handle file, Identity& identity);
bool systemIdentityOf(const char* name, Identity& identity);

// Creates the file `name` for writing, only when nothing stands there (never
// through a link): kNoHandle with errno EEXIST when the name is taken, or
// another errno when the file cannot be made at all. It gets the permission
// bits createBeside() describes.
Handle createExclusive(const std::string& name, const Entry& replaced, const NewFileAccess& access);

// The running process's number, which makes names differ between processes.
unsigned long processId();

#ifdef _WIN32
// Sets errno from the last Windows error, so that every failure is reported
// the same way on every system; always false.
bool failWithLastError();
#endif

}  // namespace morvale::files::detail

#endif
