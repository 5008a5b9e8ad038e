// The vector file writer.
#include "vecfile/vector_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace morvale {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A vector's number as decimal text, prepared once for every possible id so
// that sample lines need no number formatting.
struct IdText {
    char text[4];
    unsigned char length;
};

struct IdTexts {
    IdText ids[kMaxVectors];
};

constexpr IdTexts makeIdTexts() {
    IdTexts table{};
    for (int id = 0; id < kMaxVectors; ++id) {
        char digits[4] = {};
        int count = 0;
        for (int rest = id; count == 0 || rest > 0; rest /= 10) {
            digits[count++] = static_cast<char>('0' + rest % 10);
        }
        for (int i = 0; i < count; ++i) {
            table.ids[id].text[i] = digits[count - 1 - i];
        }
        table.ids[id].length = static_cast<unsigned char>(count);
    }
    return table;
}

constexpr IdTexts kIdTexts = makeIdTexts();
static_assert(sizeof kIdTexts.ids[0].text >= 4 && kMaxVectors <= 9999, "ids need at most four digits");

// id TAB abscissa TAB value CR LF, at the longest.
constexpr std::size_t kMaxSampleLine =
    sizeof(IdText::text) + 1 + TokenTable::kMaxTokenLength + 1 + TokenTable::kMaxTokenLength + kLineEnd.size();
static_assert(kMaxSampleLine <= VectorFile::kMaxReserve, "a sample line fits one reservation");

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// A token as one or two fixed blocks of kTokenBlock bytes when it fits, the
// common case: a fixed-size copy is a few moves, where a copy of a varying
// length is a call. The bytes past the token are overwritten by what follows
// it. Tokens come from TokenTable slots, so both blocks are readable, and a
// sample line's reservation leaves room for them after every token.
constexpr std::size_t kTokenBlock = 16;
static_assert(2 * kTokenBlock <= TokenTable::kSlotSize, "the blocks stay inside a slot");
static_assert(2 * kTokenBlock <= TokenTable::kMaxTokenLength + kLineEnd.size(), "the blocks stay inside a sample line");

char* putToken(char* out, std::string_view token) {
    if (token.size() <= kTokenBlock) {
        std::memcpy(out, token.data(), kTokenBlock);
    } else if (token.size() <= 2 * kTokenBlock) {
        std::memcpy(out, token.data(), 2 * kTokenBlock);
    } else {
        std::memcpy(out, token.data(), token.size());
    }
    return out + token.size();
}

std::string_view idText(int id) { return std::string_view(kIdTexts.ids[id].text, kIdTexts.ids[id].length); }

// The declaration up to the opening quote of the vector name.
void beginDeclaration(VectorFile& output, int id, std::string_view module) {
    output.append("vector\t");
    output.append(idText(id));
    output.append("\t\"");
    output.append(module);
    output.append("\"\t\"");
}

void endDeclaration(VectorFile& output) {
    output.append("\"");
    output.append(kLineEnd);
}

// The vector of group g with the given pair name: group.sub-name.pair-name.
void writeGroupDeclaration(VectorFile& output, const HeaderInfo& header, int group, int pair) {
    beginDeclaration(output, 2 * group + pair, header.nameTable.token(0));
    output.append(header.nameTable.token(group + 1));
    output.append(".");
    output.append(header.subNameTable.token(group));
    output.append(".");
    output.append(header.pairNameTable.token(2 * group + pair));
    endDeclaration(output);
}

// Creates or empties the named file for writing in binary.
std::FILE* createForWriting(const char* name) {
#ifdef _WIN32
    // An interruption must be able to remove the file while it is still open,
    // which Windows allows only when the file was opened to share deletion;
    // the C runtime never opens files so.
    const HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // Fails the same way, with the C runtime's reason in errno.
        return std::fopen(name, "wb");
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
#else
    return std::fopen(name, "wb");
#endif
}

}  // namespace

VectorFile::VectorFile(std::size_t bufferSize) {
    const std::size_t size = std::max(bufferSize, kMaxReserve);
    buffer_.reset(new char[size]);
    pos_ = buffer_.get();
    limit_ = pos_ + size;
}

VectorFile::~VectorFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool VectorFile::open(const char* name) {
    std::FILE* file = createForWriting(name);
    if (file == nullptr) {
        return false;
    }
    // This buffer is the only one: stdio would copy every byte again.
    std::setvbuf(file, nullptr, _IONBF, 0);
    attach(file);
    return true;
}

void VectorFile::attach(std::FILE* stream) {
    file_ = stream;
    pos_ = buffer_.get();
    error_ = 0;
}

void VectorFile::flush() {
    const std::size_t size = static_cast<std::size_t>(pos_ - buffer_.get());
    pos_ = buffer_.get();
    if (error_ != 0 || size == 0) {
        return;
    }
    errno = 0;
    if (std::fwrite(buffer_.get(), 1, size, file_) != size) {
        error_ = errno != 0 ? errno : EIO;
    }
}

bool VectorFile::close() {
    if (file_ == nullptr) {
        return error_ == 0;
    }
    flush();
    if (error_ == 0 && (std::fflush(file_) != 0 || std::ferror(file_))) {
        error_ = errno != 0 ? errno : EIO;
    }
    errno = 0;
    if (std::fclose(file_) != 0 && error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    file_ = nullptr;
    return error_ == 0;
}

void VectorFile::append(std::string_view text) {
    while (!text.empty()) {
        const std::size_t part = std::min(text.size(), kMaxReserve);
        commit(put(reserve(part), text.substr(0, part)));
        text.remove_prefix(part);
    }
}

void writeDeclarations(VectorFile& output, const HeaderInfo& header) {
    const int columns = header.columnCount;
    if (header.layout == HeaderLayout::OneLine) {
        for (int id = 0; id < columns; ++id) {
            beginDeclaration(output, id, header.nameTable.token(0));
            output.append(header.nameTable.token(id + 1));
            endDeclaration(output);
        }
        output.append(kLineEnd);
        return;
    }
    for (int group = 0; group < columns; ++group) {
        writeGroupDeclaration(output, header, group, 0);
    }
    output.append(kLineEnd);
    output.append(kLineEnd);
    for (int group = 0; group < columns; ++group) {
        writeGroupDeclaration(output, header, group, 1);
    }
}

void writeSamples(VectorFile& output, const HeaderInfo& header, const RowTable& row) {
    const std::string_view abscissa = row.token(0);
    const int vectors = header.vectorCount();
    for (int id = 0; id < vectors; ++id) {
        const IdText& number = kIdTexts.ids[id];
        char* out = output.reserve(kMaxSampleLine);
        std::memcpy(out, number.text, sizeof number.text);  // whole array: cheaper than its length
        out += number.length;
        *out++ = '\t';
        out = putToken(out, abscissa);
        *out++ = '\t';
        out = putToken(out, row.token(id + 1));
        out = put(out, kLineEnd);
        output.commit(out);
    }
}

}  // namespace morvale
