// The vector file on disk: written through one large buffer to a new file
// beside its name, which takes the name only once every byte is there.
#ifndef MORVALE_VECFILE_VECTOR_FILE_H
#define MORVALE_VECFILE_VECTOR_FILE_H

#include <cerrno>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace morvale {

// A vector file written whole that waits to take its name: sync() puts its
// bytes on the disk, takeName() then gives it the name, or removes it when
// anything failed. sync() touches nothing but the file, so that the syncs of
// several files may run on threads of their own; the rest runs on the
// thread that handles interruptions. Until the file has its name an
// interruption removes it.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool holdsFile() const { return file_ != files::kNoHandle; }
    const std::string& target() const { return target_; }

    // Waits until the file's bytes are on the disk; false when that failed.
    bool sync();

    // Closes the file and gives it the target's name; when anything failed,
    // removes it and leaves the target as it was. False then: error() tells
    // why.
    bool takeName();

    // sync() then takeName(), for a lone file.
    bool finish() {
        sync();
        return takeName();
    }

    // Removes the file: the target is left as it was.
    void abandon();

    int error() const { return error_; }
    // Whether the file was written whole and synced, and only its naming
    // failed.
    bool nameNotTaken() const { return nameNotTaken_; }
    // The new file that could not be removed, or an empty name.
    const std::string& leftover() const { return leftover_; }
    int leftoverError() const { return leftoverError_; }

private:
    friend class VectorFile;

    files::Handle file_ = files::kNoHandle;
    std::string target_;
    std::string temporary_;
    int error_ = 0;
    bool nameNotTaken_ = false;
    std::string leftover_;
    int leftoverError_ = 0;
};

// An output file written through one large buffer in big blocks. A vector
// file is never written in place: the bytes go to a new file beside it,
// which takes the vector file's name only once every byte is written, so the
// name holds either what it held before or the complete new file; until
// then an interruption removes the new file. After the first failed write it
// drops further output and remembers the failure, which close() then
// reports.
class VectorFile {
public:
    static constexpr std::size_t kDefaultBufferSize = 256 * 1024;
    // The errno of open() for a FIFO, a device or a socket in the way.
    static constexpr int kNotRegularFile = files::kNotRegularFile;

    // The buffer is allocated once and reused for every file. Tests pass small
    // sizes; it never goes below what the longest line needs.
    explicit VectorFile(std::size_t bufferSize = kDefaultBufferSize);
    ~VectorFile();
    VectorFile(const VectorFile&) = delete;
    VectorFile& operator=(const VectorFile&) = delete;

    // Starts the vector file to be named `target`. What stands there now is
    // examined, not followed: a link is replaced, never written through; a
    // directory (EISDIR), anything else that is not a regular file
    // (kNotRegularFile) and a file this process may not write (EACCES) are
    // refused. On failure returns false with errno set and nothing on disk
    // changed. A replaced file's owner, permissions, ACL and attributes pass
    // to the new file (files::keepMetadata()); a new file gets `access` less
    // the umask.
    bool open(const char* target, const files::NewFileAccess& access = files::NewFileAccess());

    // Appends to `bytes` instead of writing a file (tests, fuzzing,
    // benchmarks); nullptr drops them. As with a file, `bytes` keeps what it
    // held unless the output is closed whole.
    void attachMemory(std::string* bytes);

    // Writes what is buffered, gives the new file what a replaced target had,
    // makes sure it reached the disk and gives it the target's name. False
    // when any of that failed; error() then tells why, metadataNotKept()
    // whether it was what the target had, and the target is left as it was.
    bool close();

    // Does what close() does up to the sync, and hands the file over to
    // `pending`, which syncs it and gives it its name later: this output is
    // then free for the next file. False, with the new file removed, when that
    // failed; `pending` then holds nothing. A memory output is only closed.
    bool finishInto(PendingFile& pending);

    // Drops the new file: the target is left as it was.
    void abandon();

    bool failed() const { return error_ != 0; }
    int error() const { return error_; }
    bool metadataNotKept() const { return metadataNotKept_; }

    // The identity of the file that the last close() put in the target's
    // place. Reading it is part of close(): a vector file whose identity is
    // not known is not finished, since the run could not tell it apart.
    const files::Identity& identity() const { return identity_; }

    // The new file that the last open() made and that could not be removed
    // when it was dropped, or an empty name; leftoverError() tells why.
    const std::string& leftover() const { return leftover_; }
    int leftoverError() const { return leftoverError_; }

    // Returns room for `size` bytes at the end of the output; commit() then
    // takes the bytes up to `end`. `size` is at most kMaxReserve.
    char* reserve(std::size_t size) {
        if (static_cast<std::size_t>(limit_ - pos_) < size) {
            flush();
        }
        return pos_;
    }
    void commit(char* end) { pos_ = end; }

    // Where all the room there is ends: a writer that checks the room itself
    // may fill it up to here before the commit.
    const char* roomEnd() const { return limit_; }

    void append(std::string_view text);

    // Appends a block of bytes that the caller has gathered itself, without
    // copying it through the buffer.
    void writeBlock(const char* bytes, std::size_t size);

    // The longest stretch reserve() hands out at once.
    static constexpr std::size_t kMaxReserve = 4096;

private:
    bool createFile(const char* target, const files::Entry& existing, const files::NewFileAccess& access);
    void flush();
    void emit(const char* bytes, std::size_t size);
    void start();
    bool fail();

    std::unique_ptr<char[]> buffer_;
    char* pos_;
    char* limit_;
    files::Handle file_ = files::kNoHandle;
    std::string* memory_ = nullptr;
    std::size_t memoryKept_ = 0;  // what `memory_` held when it was attached
    std::string target_;
    std::string temporary_;
    bool replacing_ = false;  // a regular file stood at the target: the new one keeps what it had
    int error_ = 0;
    bool metadataNotKept_ = false;
    files::Identity identity_;
    std::string leftover_;
    int leftoverError_ = 0;
    long long written_ = 0;      // bytes of the file written so far
    long long writtenBack_ = 0;  // of them, those already sent to the disk
};

}  // namespace morvale

#endif
