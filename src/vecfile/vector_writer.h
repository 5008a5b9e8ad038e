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

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

#include "table/header_reader.h"
#include "table/row_reader.h"

namespace morvale {

// An output file written through one large buffer in big blocks. After the
// first failed write it drops further output and remembers the failure, which
// close() then reports.
class VectorFile {
public:
    static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

    // The buffer is allocated once and reused for every file. Tests pass small
    // sizes; it never goes below what the longest line needs.
    explicit VectorFile(std::size_t bufferSize = kDefaultBufferSize);
    ~VectorFile();
    VectorFile(const VectorFile&) = delete;
    VectorFile& operator=(const VectorFile&) = delete;

    // Creates or empties the named file. On failure returns false, errno set.
    bool open(const char* name);

    // Writes into an already open stream instead (tests and fuzzing); close()
    // closes it.
    void attach(std::FILE* stream);

    // Writes what is buffered and closes the file. False when any write or the
    // close itself failed; error() then tells why.
    bool close();

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

    void append(std::string_view text);

    // The longest stretch reserve() hands out at once.
    static constexpr std::size_t kMaxReserve = 4096;

private:
    void flush();

    std::unique_ptr<char[]> buffer_;
    char* pos_;
    char* limit_;
    std::FILE* file_ = nullptr;
    int error_ = 0;
};

// Writes one declaration line per vector and the empty lines that follow
// them: in the three-line layout the even vectors, two empty lines, then the
// odd vectors; in the one-line layout all vectors, then one empty line.
void writeDeclarations(VectorFile& output, const HeaderInfo& header);

// Writes the V sample lines of one row, vectors 0 to V - 1.
void writeSamples(VectorFile& output, const HeaderInfo& header, const RowTable& row);

}  // namespace morvale

#endif
