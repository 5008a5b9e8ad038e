// CharSource: an input table delivered one character at a time, with the
// text conventions applied in exactly one place.
//
// The file is read in binary through a fixed buffer and the conventions are
// the tool's own, so every platform reads a table alike:
//   - a CR immediately followed by an LF is dropped (CR LF arrives as LF),
//     also when the CR ends one buffer and the LF starts the next;
//   - any other CR is an ordinary character;
//   - the byte 0x1A ends the input: neither it nor anything after it is seen;
//   - every other byte, 0xFF included, is delivered unchanged; where TABs,
//     zero bytes and CRs without an LF were, is noted (controls());
//   - a UTF-8 byte-order mark at the very start is skipped.
// All of that, the reading itself, the end of the input and read errors are
// handled by one refill. Once the input has ended, next() yields kEndMarker
// and the file is never read again. A read error ends the input the same way
// and is remembered, so that it is never mistaken for the end of the file.
#ifndef MORVALE_TABLE_CHAR_SOURCE_H
#define MORVALE_TABLE_CHAR_SOURCE_H

#include <cstddef>
#include <memory>

#include "platform/file_system.h"
#include "table/plain_run.h"
#include "table/table_notes.h"

namespace morvale {

// What next() yields once the input has ended. It is also a legal byte, so
// readers test atEnd(), never this value.
constexpr char kEndMarker = static_cast<char>(0xFF);

class CharSource {
public:
    static constexpr std::size_t kDefaultBufferSize = 128 * 1024;

    // The buffer is allocated once and reused for every file opened later.
    // Tests pass tiny sizes to put every character on a buffer edge.
    explicit CharSource(std::size_t bufferSize = kDefaultBufferSize);
    ~CharSource();
    CharSource(const CharSource&) = delete;
    CharSource& operator=(const CharSource&) = delete;

    // Opens the named file for reading. On failure returns false with errno
    // set; a directory counts as a failure (EISDIR) on every platform.
    bool open(const char* name);

    // Reads from memory instead of a file (tests, fuzzing, benchmarks), block
    // by block through the buffer as a file is read; the bytes must outlive
    // the reading.
    void openMemory(const void* data, std::size_t size);

    // Closes the file. False when closing failed; errno is then set.
    bool close();

    char next() {
        if (pos_ < end_) {
            const unsigned char byte = *pos_++;
            if (byte > kEndOfFileByte) {  // the common case: nothing to convert
                return static_cast<char>(byte);
            }
            // Line ends come once a row: not worth a call.
            if (const unsigned char* after = pastLineEnd(pos_ - 1)) {
                return endLine(after);
            }
            return convertControl(byte);
        }
        return nextFromRefill();
    }

    // The bytes read but not yet delivered, lent to a reader that cuts whole
    // lines where they stand instead of a character at a time. It starts at
    // the plain character that next() has just delivered. Plain characters
    // and blanks there are exactly what next() would deliver; a line end is
    // taken through take(), which counts it, and anything else is left to
    // next(). What it refers to stays until next() needs more.
    class Lookahead {
    public:
        // The plain character just delivered; the bytes up to end() follow it.
        const unsigned char* begin() const { return source_.pos_ - 1; }
        // Where what was read ends. The byte there is kSentinel, which is
        // neither plain nor a blank nor a line end, so that a scan for any of
        // them stops there without testing for the end as well; kSlack more
        // bytes can be read after it.
        const unsigned char* end() const { return source_.end_; }
        // Just past the line end that stands at `at`, or null when none does
        // or it is not all read yet.
        const unsigned char* pastLineEnd(const unsigned char* at) const { return source_.pastLineEnd(at); }
        // Takes everything before `after`, which pastLineEnd() gave, as if
        // next() had delivered it.
        void take(const unsigned char* after) { source_.endLine(after); }
        // The line being read.
        long line() const { return source_.line(); }

    private:
        friend class CharSource;
        explicit Lookahead(CharSource& source) : source_(source) {}
        CharSource& source_;
    };

    // Valid only right after next() delivered a plain character.
    Lookahead lookahead() { return Lookahead(*this); }

    static constexpr unsigned char kSentinel = 0;
    static constexpr std::size_t kSlack = 32;

    // True once a read has found no further character; false right after the
    // last character itself has been read.
    bool atEnd() const { return atEnd_; }

    // True when the input ended because reading failed; readErrno() tells why.
    bool readFailed() const { return readErrno_ != 0; }
    int readErrno() const { return readErrno_; }

    // True when a regular file ended before the size it had when it was
    // opened: it was cut short while it was read, and what was read of it
    // is not the table.
    bool shrank() const { return shrank_; }

    // How many bytes a regular file read up to the size it had when opened
    // has grown by since (a program still writing it), which the reading
    // left out; 0 when none, or when the input was not read that far.
    long long grownBy() const;
    // Whether the file, grown while it was read, had been opened in the
    // middle of its last line, which was then left out: the line was still
    // being written, and would have been read cut.
    bool lastLineLeftOut() const { return lastLineLeftOut_; }

    // The 1-based number of the line being read: the line ends delivered so
    // far, plus one.
    long line() const { return linesEnded_ + 1; }

    // Where TABs, zero bytes and CRs with no LF after them were delivered.
    const ControlNotes& controls() const { return controls_; }

    // Told how the reading of a file goes: around each call that may wait for
    // the system (opening or reading the file, which a pipe's writer may keep
    // waiting for as long as it likes), and after each block read, how many
    // bytes were read so far and the file's size (-1 when it has none to go
    // by). Once a block, not a character, so that watching a long conversion
    // costs nothing per row.
    class Watcher {
    public:
        virtual void beforeWait() = 0;
        virtual void afterWait() = 0;
        virtual void blockRead(long long read, long long size) = 0;

    protected:
        ~Watcher() = default;
    };
    void watch(Watcher* watcher) { watcher_ = watcher; }

    // Identity of the open file, to tell whether another name refers to it.
    // False when unknown (memory input).
    bool identity(files::Identity& identity) const;

    // The open file, to ask the system about it; kNoHandle for a memory input.
    files::Handle file() const { return file_; }

private:
    static constexpr unsigned char kLineEnd = 0x0A;
    static constexpr unsigned char kCarriageReturn = 0x0D;
    static constexpr unsigned char kEndOfFileByte = 0x1A;
    static constexpr unsigned char kTab = 0x09;
    static constexpr unsigned char kZeroByte = 0x00;
    // next() converts nothing above the end-of-file byte.
    static_assert(kLineEnd < kEndOfFileByte && kCarriageReturn < kEndOfFileByte && kTab < kEndOfFileByte &&
                      kZeroByte < kEndOfFileByte,
                  "next() sees every byte it converts or notes");

    // What a Lookahead reader takes without next() must be what next()
    // delivers unconverted.
    static_assert(kLineEnd <= kLastNonPlain && kCarriageReturn <= kLastNonPlain && kEndOfFileByte <= kLastNonPlain,
                  "plain characters and blanks are delivered as they are");

    // The one line-end rule: an LF, or a CR with an LF after it. Both bytes
    // must be read: a CR at the end of what was read is decided by the next
    // refill. `at` is at most end_, whose sentinel is no line end.
    const unsigned char* pastLineEnd(const unsigned char* at) const {
        if (*at == kCarriageReturn && at[1] == kLineEnd) {
            ++at;
        }
        return *at == kLineEnd ? at + 1 : nullptr;
    }
    char endLine(const unsigned char* after) {
        pos_ = after;
        ++linesEnded_;
        return '\n';
    }

    char convertControl(unsigned char byte);
    char convertCarriageReturn();
    char nextFromRefill();
    bool refill();
    std::size_t readBlock(std::size_t least);
    long long readSome(unsigned char* into, std::size_t size);
    char finish();
    void start(files::Handle file, long long size, const unsigned char* memory);
    void findLastLineEnd();
    bool leavesLastLineOut();

    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t capacity_;
    files::Handle file_ = files::kNoHandle;
    const unsigned char* memory_ = nullptr;  // the input, when it is in memory
    const unsigned char* pos_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool atEnd_ = true;
    bool atStart_ = false;  // nothing has been brought in yet
    bool drained_ = true;   // the input has nothing more to give: never read again
    long long size_ = -1;   // a regular file's size when opened, a memory input's, else -1
    long long read_ = 0;    // the bytes read so far
    // Where the last line end of a regular file as opened is followed by
    // more, or size_: where the input ends if the file grows meanwhile.
    long long lastLineEnd_ = -1;
    bool lastLineLeftOut_ = false;
    Watcher* watcher_ = nullptr;
    int readErrno_ = 0;
    bool shrank_ = false;
    long linesEnded_ = 0;
    ControlNotes controls_;
};

}  // namespace morvale

#endif
