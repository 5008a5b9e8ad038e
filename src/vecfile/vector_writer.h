// The vector file writer: the output file, its declaration lines and its
// sample lines.
//
// A vector file is text with CR LF line ends, written in binary so that every
// platform writes the same bytes. It declares one numbered vector per data
// column, then lists one sample line per vector for every row:
//   vector<TAB>0<TAB>"Time"<TAB>"A"
//   ...
//   0<TAB>abscissa<TAB>value
#ifndef MORVALE_VECFILE_VECTOR_WRITER_H
#define MORVALE_VECFILE_VECTOR_WRITER_H

#include <cerrno>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "table/char_source.h"
#include "table/header_reader.h"
#include "table/line_reading.h"
#include "table/row_reader.h"

namespace morvale {

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
    static constexpr int kNotRegularFile = ENODEV;

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
    // refused. On failure
    // returns false with errno set and nothing on disk changed. A replaced
    // file's owner, permissions, ACL and attributes pass to the new file
    // (files::keepMetadata()); a new file gets `permissions` less the umask.
    bool open(const char* target, unsigned permissions = 0666);

    // Appends to `bytes` instead of writing a file (tests, fuzzing,
    // benchmarks); nullptr drops them. As with a file, `bytes` keeps what it
    // held unless the output is closed whole.
    void attachMemory(std::string* bytes);

    // Writes what is buffered, makes sure it reached the disk and gives the
    // new file the target's name. False when any of that failed; error() then
    // tells why, and the target is left as it was.
    bool close();

    // Drops the new file: the target is left as it was.
    void abandon();

    bool failed() const { return error_ != 0; }
    int error() const { return error_; }

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

    // The longest stretch reserve() hands out at once.
    static constexpr std::size_t kMaxReserve = 4096;

private:
    void flush();
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
    long long written_ = 0;      // bytes of the file written so far
    long long writtenBack_ = 0;  // of them, those already sent to the disk
};

// Writes one declaration line per vector and the empty lines that follow
// them: in the three-line layout the even vectors, two empty lines, then the
// odd vectors; in the one-line layout all vectors, then one empty line.
void writeDeclarations(VectorFile& output, const HeaderInfo& header);

// Writes the V sample lines of one row, vectors 0 to V - 1.
void writeSamples(VectorFile& output, const HeaderInfo& header, const RowTable& row);

// Everything the conversion of one table works with, allocated once and
// reused for every table and row. The sizes are the two buffers'; tests pass
// small ones to put every byte on a buffer's edge.
struct Converter {
    explicit Converter(std::size_t sourceBuffer = CharSource::kDefaultBufferSize,
                       std::size_t outputBuffer = VectorFile::kDefaultBufferSize)
        : source(sourceBuffer), output(outputBuffer) {}

    CharSource source;
    VectorFile output;
    HeaderInfo header;
    RowTable row;
};

enum class ConversionOutcome {
    Converted,
    Refused,          // the table breaks a limit: `refusal` says which, and where
    ReadFailed,       // reading the table failed: `error` says why
    OutputNotOpened,  // the vector file could not be started: `error` says why
    WriteFailed,      // the vector file could not be written whole: `error` says why
};

struct Conversion {
    ConversionOutcome outcome = ConversionOutcome::Converted;
    Refusal refusal;
    int error = 0;
    // A converted table that is almost surely not what its author meant.
    std::optional<Warning> warning;
};

// Converts the table open in `converter.source` into the vector file named
// `target`: reads its header, only then starts the vector file, writes the
// declarations, skips the separator line and writes the sample lines of
// every row. With a null `target` the bytes go where `converter.output` was
// attached. Whatever the outcome, `target` holds either what it held before
// or the complete new vector file; the source is left open.
Conversion convertTable(Converter& converter, const char* target);

}  // namespace morvale

#endif
