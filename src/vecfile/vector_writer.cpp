// The vector file writer.
#include "vecfile/vector_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_metadata.h"
#include "platform/interrupts.h"

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

// How much is written between two requests to start putting it on the disk.
// Without them the final fsync waits for the whole file to go out; with them
// the disk works while the file is made. 2 and 32 MiB did no better.
constexpr long long kWriteBackStep = 8LL << 20;

// id TAB abscissa TAB value CR LF, at the longest.
constexpr std::size_t kMaxSampleLine =
    sizeof(IdText::text) + 1 + TokenTable::kMaxTokenLength + 1 + TokenTable::kMaxTokenLength + kLineEnd.size();
static_assert(kMaxSampleLine <= VectorFile::kMaxReserve, "a sample line fits one reservation");

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// A token as one fixed block of kTokenBlock bytes when it fits, the common
// case: a fixed-size copy is a few moves, where a copy of a varying length is
// a call. The bytes past the token are overwritten by what follows it. Tokens
// stand in TokenTable slots or in the input's buffer, so the block is
// readable, and a sample line's room leaves space for it after every token.
constexpr std::size_t kTokenBlock = 32;
static_assert(kTokenBlock <= TokenTable::kSlotSize, "the block stays inside a slot");
static_assert(kTokenBlock <= CharSource::kSlack, "the block stays inside the input's buffer");
static_assert(kTokenBlock <= TokenTable::kMaxTokenLength + kLineEnd.size(), "the block stays inside a sample line");

char* putToken(char* out, std::string_view token) {
    if (token.size() <= kTokenBlock) {
        std::memcpy(out, token.data(), kTokenBlock);
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

}  // namespace

VectorFile::VectorFile(std::size_t bufferSize) {
    const std::size_t size = std::max(bufferSize, kMaxReserve);
    buffer_.reset(new char[size]);
    pos_ = buffer_.get();
    limit_ = pos_ + size;
}

VectorFile::~VectorFile() { abandon(); }

void VectorFile::start() {
    pos_ = buffer_.get();
    error_ = 0;
    written_ = 0;
    writtenBack_ = 0;
}

bool VectorFile::open(const char* target, unsigned permissions) {
    abandon();
    const files::Entry existing = files::examine(target);
    switch (existing.kind) {
    case files::Kind::Missing:
    case files::Kind::SymbolicLink:
        break;
    case files::Kind::Regular:
        if (!existing.writable) {
            errno = existing.error != 0 ? existing.error : EACCES;  // write-protected: its owner wants it kept
            return false;
        }
        break;
    case files::Kind::Directory:
        errno = EISDIR;
        return false;
    case files::Kind::Other:
        // A FIFO would block the run and a device would take the bytes
        // elsewhere.
        errno = existing.error != 0 ? existing.error : kNotRegularFile;
        return false;
    }
    // An interruption must find the new file named to it from its first
    // moment on.
    interrupts::hold();
    const files::Handle file = files::createBeside(target, existing, permissions, temporary_);
    const int error = errno;
    if (file != files::kNoHandle) {
        interrupts::removeOnInterrupt(temporary_.c_str());
    }
    interrupts::release();
    if (file == files::kNoHandle) {
        temporary_.clear();
        errno = error;
        return false;
    }
    file_ = file;
    target_ = target;
    replacing_ = existing.kind == files::Kind::Regular;
    start();
    return true;
}

void VectorFile::attachMemory(std::string* bytes) {
    abandon();
    memory_ = bytes;
    memoryKept_ = bytes != nullptr ? bytes->size() : 0;
    start();
}

void VectorFile::flush() {
    const std::size_t size = static_cast<std::size_t>(pos_ - buffer_.get());
    pos_ = buffer_.get();
    if (error_ != 0 || size == 0) {
        return;
    }
    if (file_ != files::kNoHandle) {
        if (!files::writeAll(file_, buffer_.get(), size)) {
            fail();
            return;
        }
        written_ += static_cast<long long>(size);
        if (written_ - writtenBack_ >= kWriteBackStep) {
            files::startWriteBack(file_, writtenBack_, written_ - writtenBack_);
            writtenBack_ = written_;
        }
    } else if (memory_ != nullptr) {
        memory_->append(buffer_.get(), size);
    }
}

// Remembers the first failure; always false.
bool VectorFile::fail() {
    if (error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
    return false;
}

bool VectorFile::close() {
    flush();
    memory_ = nullptr;
    if (file_ == files::kNoHandle) {
        return error_ == 0;
    }
    // After the last write, which would clear the set-ID bits it gives.
    if (error_ == 0 && replacing_ && !files::keepMetadata(target_.c_str(), file_)) {
        fail();
    }
    if (error_ == 0 && !files::syncToDisk(file_)) {
        fail();
    }
    const files::Handle file = file_;
    file_ = files::kNoHandle;
    if (!files::close(file)) {
        fail();
    }
    if (error_ == 0 && !files::replace(temporary_.c_str(), target_.c_str())) {
        fail();
    }
    if (error_ != 0) {
        files::remove(temporary_.c_str());
    }
    interrupts::removeOnInterrupt(nullptr);
    temporary_.clear();
    return error_ == 0;
}

void VectorFile::abandon() {
    if (memory_ != nullptr) {
        memory_->resize(memoryKept_);
        memory_ = nullptr;
    }
    if (file_ == files::kNoHandle) {
        return;
    }
    files::close(file_);
    file_ = files::kNoHandle;
    files::remove(temporary_.c_str());
    interrupts::removeOnInterrupt(nullptr);
    temporary_.clear();
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

namespace {

// An empty value, readable as a whole block.
constexpr char kNoValue[kTokenBlock] = {};

// One sample line into room for kMaxSampleLine bytes; returns its end. Always
// inlined: in the row loops a call would cost as much as the line itself.
[[gnu::always_inline]] inline char* putSampleLine(char* out, int id, std::string_view abscissa, std::string_view value) {
    const IdText& number = kIdTexts.ids[id];
    std::memcpy(out, number.text, sizeof number.text);  // whole array: cheaper than its length
    out += number.length;
    *out++ = '\t';
    out = putToken(out, abscissa);
    *out++ = '\t';
    out = putToken(out, value);
    return put(out, kLineEnd);
}

// Writes the lines of the row that `rows` has started into the room from
// `out` to `roomEnd`, as its tokens are cut, and takes the row; returns the
// end of its lines. Null when the row is another kind, holds a value too long
// for the token step or does not fit the room: it is then left untaken, and
// the lines are void.
char* putPlainRow(PlainRows& rows, int vectors, char* out, const char* roomEnd) {
    const auto roomForLine = [&out, roomEnd]() { return roomEnd - out >= static_cast<std::ptrdiff_t>(kMaxSampleLine); };
    std::string_view abscissa;
    rows.nextToken(abscissa);  // always there: the row starts with a plain character
    if (!RowTable::fits(abscissa.size())) {
        return nullptr;
    }
    int id = 0;
    std::string_view value;
    while (rows.nextToken(value)) {
        if (id == vectors) {
            continue;  // values beyond the vectors are dropped
        }
        if (!RowTable::fits(value.size()) || !roomForLine()) {
            return nullptr;
        }
        out = putSampleLine(out, id++, abscissa, value);
    }
    for (; id < vectors; ++id) {  // the values the row does not supply
        if (!roomForLine()) {
            return nullptr;
        }
        out = putSampleLine(out, id, abscissa, std::string_view(kNoValue, 0));
    }
    return rows.takeRow() ? out : nullptr;
}

// Writes the common rows that `rows` holds, for as long as they come and fit
// the output's buffer; true when it took any.
bool writePlainRows(VectorFile& output, int vectors, PlainRows& rows) {
    char* out = output.reserve(kMaxSampleLine);
    const char* const roomEnd = output.roomEnd();
    bool took = false;
    while (!output.failed() && rows.startRow()) {
        char* const end = putPlainRow(rows, vectors, out, roomEnd);
        if (end == nullptr) {
            break;
        }
        out = end;
        took = true;
    }
    output.commit(out);
    return took;
}

}  // namespace

void writeSamples(VectorFile& output, const HeaderInfo& header, const RowTable& row) {
    const std::string_view abscissa = row.token(0);
    const int vectors = header.vectorCount();
    for (int id = 0; id < vectors; ++id) {
        output.commit(putSampleLine(output.reserve(kMaxSampleLine), id, abscissa, row.token(id + 1)));
    }
}

namespace {

// Writes the sample lines of every row after the separator line, which the
// source is just before: the common rows straight from the input's buffer,
// any other row once readRow() has cut it. Stops at the first row that is
// refused, and once the output has failed: nothing more could be written.
Refusal writeRows(Converter& converter) {
    CharSource& source = converter.source;
    VectorFile& output = converter.output;
    const int vectors = converter.header.vectorCount();
    for (char current = source.next(); !source.atEnd() && !output.failed(); current = source.next()) {
        if (isPlain(static_cast<unsigned char>(current))) {
            PlainRows rows(source);
            if (writePlainRows(output, vectors, rows)) {
                continue;  // the row they stopped at starts with the next character
            }
        }
        if (Refusal refusal = readRow(source, current, converter.header, converter.row)) {
            return refusal;
        }
        writeSamples(output, converter.header, converter.row);
    }
    return Refusal{};
}

// The outcome once the table has been read as far as it will be.
Conversion readingOutcome(const Refusal& refusal, const CharSource& source) {
    Conversion result;
    if (refusal) {
        result.outcome = ConversionOutcome::Refused;
        result.refusal = refusal;
    } else if (source.readFailed()) {
        result.outcome = ConversionOutcome::ReadFailed;
        result.error = source.readErrno();
    }
    return result;
}

// The separator line of a table with a three-line header, when every header
// line ends at a line end.
constexpr long kThreeLineSeparatorLine = 4;

// What is almost surely wrong with a table read through by the rules: no
// table at all, lone CRs for line ends, a separator line missing. `dropped`
// says that a character of a row was taken for the separator line, which
// `separatorLine` should have been.
std::optional<Warning> doubt(const Converter& converter, bool separated, bool dropped, long separatorLine) {
    const CharSource& source = converter.source;
    const HeaderInfo& header = converter.header;
    if (source.line() == 1 && source.loneCarriageReturns() > 0) {
        return Warning{Warning::Reason::LoneCarriageReturns, 1};
    }
    if (source.line() == 1 && header.columnCount == 0 && header.nameTable.token(0).empty()) {
        return Warning{Warning::Reason::EmptyTable, 1};
    }
    if (header.layout == HeaderLayout::OneLine || separated) {
        return std::nullopt;
    }
    // Header line 2 with more names than groups is a row, and so is line 3.
    if (header.moreSubNamesThanGroups) {
        return Warning{Warning::Reason::NoSeparatorLine, 2};
    }
    if (dropped && separatorLine == kThreeLineSeparatorLine) {
        return Warning{Warning::Reason::NotASeparatorLine, kThreeLineSeparatorLine};
    }
    return std::nullopt;
}

}  // namespace

Conversion convertTable(Converter& converter, const char* target) {
    CharSource& source = converter.source;
    char current = 0;
    // Nothing is started before the header is accepted, so a refused header
    // leaves even an output that could not be written alone.
    VectorFile& output = converter.output;
    Conversion result = readingOutcome(readHeader(source, current, converter.header), source);
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();  // lets go of memory it was attached to, untouched
        return result;
    }
    if (target != nullptr && !output.open(target, files::newFilePermissions(source.file()))) {
        return Conversion{ConversionOutcome::OutputNotOpened, Refusal{}, errno, std::nullopt};
    }
    writeDeclarations(output, converter.header);
    const long separatorLine = source.line();
    const bool separated = skipSeparator(source, current);
    const bool dropped = !source.atEnd() && !isLineEnd(current);
    result = readingOutcome(writeRows(converter), source);
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();
    } else if (!output.close()) {
        result = Conversion{ConversionOutcome::WriteFailed, Refusal{}, output.error(), std::nullopt};
    } else {
        result.warning = doubt(converter, separated, dropped, separatorLine);
    }
    return result;
}

}  // namespace morvale
