// CharSource: an input table delivered one character at a time, with the
// text conventions applied in exactly one place.
//
// The file is read in binary through a fixed buffer and the conventions are
// the tool's own, so every platform reads a table alike:
//   - a CR immediately followed by an LF is dropped (CR LF arrives as LF),
//     also when the CR ends one buffer and the LF starts the next;
//   - any other CR is an ordinary character;
//   - the byte 0x1A ends the input: neither it nor anything after it is seen;
//   - every other byte, 0xFF included, is delivered unchanged;
//   - a UTF-8 byte-order mark at the very start is skipped.
// Once the input has ended, next() yields kEndMarker and never reads again.
// A read error ends the input the same way and is remembered, so that it is
// never mistaken for the end of the file.
#ifndef MORVALE_TABLE_CHAR_SOURCE_H
#define MORVALE_TABLE_CHAR_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/file_system.h"

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

    // Reads from memory instead of a file (tests and fuzzing); the bytes must
    // outlive the reading.
    void openMemory(const void* data, std::size_t size);

    // Closes the file. False when closing failed; errno is then set.
    bool close();

    char next() {
        if (pos_ < end_) {
            const unsigned char byte = *pos_++;
            if (byte > 0x1A) {  // the common case: nothing to convert
                return static_cast<char>(byte);
            }
            // Line ends come once a row: not worth a call.
            if (byte == '\n') {
                ++linesEnded_;
                return '\n';
            }
            if (byte == '\r' && pos_ < end_ && *pos_ == '\n') {
                ++pos_;
                ++linesEnded_;
                return '\n';
            }
            return convert(byte);
        }
        return nextFromRefill();
    }

    // Moves the characters ahead into `out`, at most `room` of them, up to the
    // first blank or control character (any byte up to 0x20, the ones that
    // may need converting among them), and returns how many it moved. They
    // are exactly what next() would deliver; the character that stopped the
    // run is still to be read. A run stops at the end of the buffer too, so
    // it may be short: the caller goes on with next(). This is how a token is
    // taken whole instead of a character at a time.
    std::size_t takeRun(char* out, std::size_t room) {
        const unsigned char* const start = pos_;
        const unsigned char* const limit = static_cast<std::size_t>(end_ - pos_) < room ? end_ : pos_ + room;
        const unsigned char* at = start;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // Sixteen, then eight characters at a time: a token's end costs one
        // well-predicted test instead of a mispredicted one per character.
        // The sixteen go out in one store, so that a token of numbers (rarely
        // sixteen characters) is read back by the writer in one piece.
        while (limit - at >= 16) {
            std::uint64_t low;
            std::uint64_t high;
            std::memcpy(&low, at, sizeof low);
            std::memcpy(&high, at + 8, sizeof high);
            std::memcpy(out, at, 16);
            const std::uint64_t lowStops = runStops(low);
            const std::uint64_t stops = lowStops != 0 ? lowStops : runStops(high);
            if (stops != 0) {
                const int plain = (lowStops != 0 ? 0 : 8) + __builtin_ctzll(stops) / 8;
                pos_ = at + plain;
                return static_cast<std::size_t>(pos_ - start);
            }
            at += 16;
            out += 16;
        }
        while (limit - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, at, sizeof word);
            std::memcpy(out, &word, sizeof word);  // room for all eight is known
            const std::uint64_t stops = runStops(word);
            if (stops != 0) {
                const int plain = __builtin_ctzll(stops) / 8;
                pos_ = at + plain;
                return static_cast<std::size_t>(pos_ - start);
            }
            at += sizeof word;
            out += sizeof word;
        }
#endif
        while (at < limit && *at > kRunStop) {
            *out++ = static_cast<char>(*at++);
        }
        pos_ = at;
        return static_cast<std::size_t>(at - start);
    }

    // Consumes a single blank when a character above the blank follows it,
    // and returns true: another run starts right there. Otherwise reads
    // nothing and returns false. Tokens are mostly separated so.
    bool skipBlankBeforeRun() {
        if (end_ - pos_ >= 2 && pos_[0] == kRunStop && pos_[1] > kRunStop) {
            ++pos_;
            return true;
        }
        return false;
    }

    // Like takeRun(), for a token that is not kept.
    void skipRun() {
        const unsigned char* at = pos_;
        while (at < end_ && *at > kRunStop) {
            ++at;
        }
        pos_ = at;
    }

    // True once a read has found no further character; false right after the
    // last character itself has been read.
    bool atEnd() const { return atEnd_; }

    // True when the input ended because reading failed; readErrno() tells why.
    bool readFailed() const { return readErrno_ != 0; }
    int readErrno() const { return readErrno_; }

    // The 1-based number of the line being read: the line ends delivered so
    // far, plus one.
    long line() const { return linesEnded_ + 1; }

    // Identity of the open file, to tell whether another name refers to it.
    // False when unknown (memory input).
    bool identity(files::Identity& identity) const;

private:
    // The blank: it and every byte below it end a run.
    static constexpr unsigned char kRunStop = 0x20;

    // The high bit of every byte of `word` that ends a run. Bits above the
    // lowest one may be spurious (a borrow carries into the next byte), so
    // only the lowest is meaningful: on a little-endian machine, the first
    // character that ends the run.
    static std::uint64_t runStops(std::uint64_t word) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
        constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
        return (word - kOnes * (kRunStop + 1)) & ~word & kHighBits;
    }

    char convert(unsigned char byte);
    char nextFromRefill();
    char convertCarriageReturn();
    bool refill();
    void skipByteOrderMark();
    char finish();
    void start(files::Handle file, const unsigned char* data, std::size_t size);
    std::size_t readInto(unsigned char* buffer, std::size_t size);

    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t capacity_;
    files::Handle file_ = files::kNoHandle;
    const unsigned char* pos_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool atEnd_ = true;
    bool drained_ = true;  // the file has nothing more to give
    int readErrno_ = 0;
    long linesEnded_ = 0;
};

}  // namespace morvale

#endif
