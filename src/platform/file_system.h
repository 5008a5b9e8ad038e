// The file system: every call that reaches a file by its name or through an
// open file goes through here, with one implementation per operating system
// behind this header. Failures return false (or kNoHandle, or -1) with errno
// set, on Windows too, so callers report them one way.
#ifndef MORVALE_PLATFORM_FILE_SYSTEM_H
#define MORVALE_PLATFORM_FILE_SYSTEM_H

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace morvale::files {

// An open file: a descriptor, or a Windows handle.
using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// What tells two names of one file apart from two files: its volume and its
// index there.
struct Identity {
    unsigned long long volume = 0;
    unsigned long long index = 0;
    bool operator==(const Identity& other) const { return volume == other.volume && index == other.index; }
};

enum class Kind { Missing, Regular, Directory, SymbolicLink, Other };

// What stands at a name, the name itself examined (a link is not followed).
struct Entry {
    Kind kind = Kind::Missing;
    unsigned permissions = 0;  // the permission bits of a regular file
    bool writable = false;     // a regular file that this process may write
    int error = 0;             // why it could not be examined, or why it may not be written, or 0
};

// The errno of a name that leads to neither a regular file nor a folder where
// one was needed: a FIFO, a socket, a device (on Windows, a device's name
// such as CON or aux.txt, never opened at all).
constexpr int kNotRegularFile = ENODEV;

// Opens a file for reading. A directory is refused with EISDIR everywhere.
// `size` receives the size of a regular file as it was opened, or -1 when the
// file has no size to go by (a pipe, a device, a file of a system table).
Handle openForReading(const char* name, long long& size);
// Reads at most `size` bytes; 0 at the end of the file, -1 on a failure.
long long read(Handle file, void* buffer, std::size_t size);
// Reads at most `size` bytes of a regular file from `offset`, without moving
// where read() goes on; as read() returns.
long long readAt(Handle file, long long offset, void* buffer, std::size_t size);
// The size of an open regular file as it is now, or -1 when it has none to go
// by or the system cannot tell.
long long sizeNow(Handle file);
bool close(Handle file);

// The identity of an open file, or of the file a name leads to (through
// links). False when the system cannot tell, with errno ENOENT when nothing
// is there.
bool identityOf(Handle file, Identity& identity);
bool identityOf(const char* name, Identity& identity);

// Examines `name` without following a link. A name that cannot be examined
// for another reason than its absence gives Kind::Other and the error.
Entry examine(const char* name);

// Whether `name` leads to a regular file, through links: one that may be
// opened for reading without waiting (a FIFO would wait for its writer).
bool leadsToRegularFile(const char* name);

// Who may use a new file made from a table: the permission bits it is made
// with, before the umask, and the group whose they are. A new file that gets
// another group (a folder's, as a set-group-ID folder gives it) gives that
// group no more than others, so that no one reads it who may not read the
// table.
struct NewFileAccess {
    NewFileAccess(unsigned permissions = 0666) : permissions(permissions) {}  // NOLINT: bits are access enough
    unsigned permissions;
    long long group = -1;  // the group the bits are meant for, or -1: whichever the file gets
};

// Permission bits whose group may do no more than others may.
constexpr unsigned groupNoMoreThanOthers(unsigned bits) { return bits & (0707 | ((bits & 07) << 3)); }

// Creates a new file beside `target`, in the same folder, under a name that
// says what it is and that nothing else had (never an existing name, never
// through a link), and returns it open for writing with its name in
// `created`. When `replaced` is a regular file, only the owner may use the
// new one until it has what that file had (keepMetadata() in
// file_metadata.h); otherwise it gets `access` less the umask.
Handle createBeside(const std::string& target, const Entry& replaced, const NewFileAccess& access,
                    std::string& created);
// Writes all `size` bytes, or fails.
bool writeAll(Handle file, const void* bytes, std::size_t size);
// Starts putting `size` bytes of the file from `offset` on the disk without
// waiting for them, so that syncToDisk() finds little left to do. Only a hint:
// nothing happens where the system has no such call.
void startWriteBack(Handle file, long long offset, long long size);
// Waits until the file's bytes are on the disk, so that a power cut after a
// replacement cannot leave a file of the new name without its bytes.
bool syncToDisk(Handle file);
// Puts `from` in the place of `to` in one step: `to` names either what it
// named before or the new file, never anything in between. A link at `to`
// is replaced, not followed. On Windows a regular file at `to` gives `from`
// its access rules (DACL) on the way, or the replacement fails.
bool replace(const char* from, const char* to);
// Makes what was renamed into the folder of `renamed`, a file that has just
// taken that name, survive a power cut. POSIX systems sync the folder; on
// Windows the file itself is flushed, which commits the volume's log, and
// its renaming with it. Best effort: a folder that this process may not open
// to sync (one it may write but not read) is no failure.
bool syncFolderOf(const std::string& renamed);
// Removes a name. Safe to call from a signal handler.
bool remove(const char* name);

// How many more files this process may open now: the soft limit less the
// descriptors already open below it, those it was started with among them;
// a large number where the system sets no limit.
long openFileRoom();

#ifdef _WIN32
// The wide name that Windows' calls take for a UTF-8 name, or false with
// errno set. A long name is made a full path with the prefix that lifts the
// old length limit.
bool systemName(const char* name, std::wstring& wide);
#endif

// Where the last part of a name starts: the file's name in its folder.
std::size_t leafStart(const std::string& name);

// Whether two names may name the same file in one folder, their folders
// aside: their last parts are the same, letter case aside where a file
// system may ignore it (Windows always; elsewhere ASCII letters, and any
// bytes outside ASCII, which a file system may fold or normalize).
bool mayBeSameName(const std::string& one, const std::string& other);

// The infix of the name that createBeside() gives, after the target's name.
constexpr const char* kIncompleteInfix = ".incomplete-";

// Test seam: the next read, write, close, sync or remove (of any file) fails with
// the given errno instead of reaching the system. Zero leaves a call alone.
// The identity lookup that fails is the one after `identitiesBefore` others,
// either form of identityOf(); the new file that cannot be created, the one
// after `createsBefore` others.
struct Faults {
    int read = 0;
    int write = 0;
    int close = 0;
    int remove = 0;
    int identity = 0;
    int identitiesBefore = 0;
    int sync = 0;
    int syncs = 1;          // how many syncs in a row fail with `sync`
    int syncMilliseconds = 0;  // how long each sync takes at the least, as on a slow disk
    int removeMilliseconds = 0;  // how long each removal takes at the least, after it
    int folderSync = 0;          // every folder sync fails with this
    int create = 0;              // the createBeside() after `createsBefore` others fails with this
    int createsBefore = 0;
};
void injectFaults(const Faults& faults);

}  // namespace morvale::files

#endif
