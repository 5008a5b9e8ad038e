// libFuzzer target: arbitrary bytes converted as a table, in memory, by the
// same code the tool runs. Surviving is not enough: the vector file must have
// the shape its header prescribes, and the result, warnings included, must
// not depend on where the input's buffer ends, on what the token tables held
// before, or on whether the lines end in LF or CR LF. A violated property
// aborts, which libFuzzer reports as a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "vecfile/conversion.h"
#include "vecfile/number_check.h"

namespace {

using namespace morvale;

struct Result {
    Conversion conversion;
    bool inputEnded = false;
    int vectors = 0;
    HeaderLayout layout = HeaderLayout::OneLine;
    int columns = 0;
    std::string output;
};

[[noreturn]] void violated(const char* property, const Result& result) {
    const Refusal& refusal = result.conversion.refusal;
    std::fprintf(stderr,
                 "property violated: %s (outcome %d, refusal: %s, line %ld; layout %d, %d columns, %d vectors; "
                 "%zu output bytes)\n",
                 property, static_cast<int>(result.conversion.outcome), refusal ? describe(refusal.reason) : "none",
                 refusal.line, static_cast<int>(result.layout), result.columns, result.vectors, result.output.size());
    std::abort();
}

void check(bool holds, const char* property, const Result& result) {
    if (!holds) {
        violated(property, result);
    }
}

// Every token slot holds a token of `stale` characters first: a slot that is
// written out without having been filled from the input shows up as a
// difference between two runs with different fillers.
void fillTables(Converter& converter, unsigned char stale) {
    for (TokenTable* table : {&converter.header.nameTable, &converter.header.subNameTable,
                              &converter.header.pairNameTable, &converter.header.unitTable, &converter.row}) {
        for (int slot = 0; slot < TokenTable::kSlots; ++slot) {
            table->put(slot, 0, static_cast<char>(stale));
            table->put(slot, 1, static_cast<char>(stale));
            table->terminate(slot, 2);
        }
    }
}

// Converts exactly as the tool converts a file, into memory, in `format`.
Result convert(Converter& converter, const std::uint8_t* data, std::size_t size, unsigned char stale,
               VectorFormat format = VectorFormat::Version1) {
    fillTables(converter, stale);
    converter.format = format;
    converter.provenance = Provenance{"fuzz", "fuzz.txt", "2026-01-01T00:00:00Z", "morvale"};
    Result result;
    converter.source.openMemory(data, size);
    converter.output.attachMemory(&result.output);
    result.conversion = convertTable(converter, nullptr);
    result.inputEnded = converter.source.atEnd();
    result.vectors = converter.header.vectorCount();
    result.layout = converter.header.layout;
    result.columns = converter.header.columnCount;
    converter.source.close();
    return result;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A refusal names a line the input has and leaves the output as it was; a
// completed conversion has read the whole input and written all of it.
void checkOutcome(const Result& result, std::size_t lineEnds) {
    const Refusal& refusal = result.conversion.refusal;
    switch (result.conversion.outcome) {
    case ConversionOutcome::Converted:
        check(result.inputEnded, "a completed conversion read the whole input", result);
        return;
    case ConversionOutcome::Refused:
        check(refusal.line >= 1 && static_cast<std::size_t>(refusal.line) <= lineEnds + 1,
              "a refusal names a line of the input", result);
        check(refusal.reason != Refusal::Reason::TooManyColumns || refusal.line == 1,
              "too many columns is found on line 1", result);
        check(result.output.empty(), "a refused table writes nothing", result);
        return;
    case ConversionOutcome::ReadFailed:
    case ConversionOutcome::Shrank:
    case ConversionOutcome::OutputNotOpened:
    case ConversionOutcome::WriteFailed:
    case ConversionOutcome::MetadataNotKept:
        break;
    }
    violated("reading and writing memory does not fail", result);
}

// The vector file's shape: CR LF line ends; the declarations the layout
// prescribes; then whole rows of V sample lines, ids 0 to V - 1 in order.
void checkShape(const Result& result) {
    if (result.conversion.outcome != ConversionOutcome::Converted) {
        return;
    }
    const std::string& out = result.output;
    check(result.vectors >= 0 && result.vectors <= kMaxVectors, "at most 1023 vectors", result);
    check(out.empty() || out.back() == '\n', "the output ends with a line end", result);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        check(end != std::string::npos && end > start && out[end - 1] == '\r', "every line ends in CR LF", result);
        lines.emplace_back(out.data() + start, end - 1 - start);
        start = end + 1;
    }

    std::vector<int> declared;  // the ids in the order they must appear, -1 for an empty line
    if (result.layout == HeaderLayout::OneLine) {
        for (int id = 0; id < result.columns; ++id) {
            declared.push_back(id);
        }
        declared.push_back(-1);
    } else {
        for (int group = 0; group < result.columns; ++group) {
            declared.push_back(2 * group);
        }
        declared.push_back(-1);
        declared.push_back(-1);
        for (int group = 0; group < result.columns; ++group) {
            declared.push_back(2 * group + 1);
        }
    }
    check(lines.size() >= declared.size(), "every declaration is written", result);
    for (std::size_t i = 0; i < declared.size(); ++i) {
        if (declared[i] < 0) {
            check(lines[i].empty(), "the declarations are followed by the layout's empty lines", result);
            continue;
        }
        const std::string prefix = "vector\t" + std::to_string(declared[i]) + "\t\"";
        check(startsWith(lines[i], prefix) && lines[i].size() > prefix.size() && lines[i].back() == '"',
              "declaration ids follow the layout", result);
    }

    const std::size_t samples = lines.size() - declared.size();
    const std::size_t vectors = static_cast<std::size_t>(result.vectors);
    check(vectors == 0 ? samples == 0 : samples % vectors == 0, "every row gives one sample per vector", result);
    for (std::size_t i = 0; i < samples; ++i) {
        const std::string_view line = lines[declared.size() + i];
        const std::string prefix = std::to_string(i % vectors) + "\t";
        check(startsWith(line, prefix), "sample ids run 0 to V - 1 in every row", result);
        check(line.find('\t', prefix.size()) != std::string_view::npos, "a sample line holds id, abscissa, value",
              result);
    }
}

bool sameWarnings(const Warnings& one, const Warnings& other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](const Warning& a, const Warning& b) {
        return a.reason == b.reason && a.line == b.line && a.moreLines == b.moreLines;
    });
}

void checkSame(const Result& a, const Result& b, const char* property) {
    const Refusal& one = a.conversion.refusal;
    const Refusal& other = b.conversion.refusal;
    check(a.conversion.outcome == b.conversion.outcome && one.reason == other.reason && one.line == other.line &&
              a.output == b.output && sameWarnings(a.conversion.warnings, b.conversion.warnings),
          property, a);
}

// The lines of a vector file, without their CR LF.
std::vector<std::string_view> linesOf(const std::string& out) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = out.find("\r\n", start);
        lines.emplace_back(out.data() + start, end - start);
        start = end + 2;
    }
    return lines;
}

// The sample lines of a vector file, each vector's in the file's order; only
// the lines after the declarations, which start with a digit.
std::vector<std::vector<std::string_view>> samplesByVector(const std::string& out, int vectors) {
    std::vector<std::vector<std::string_view>> samples(static_cast<std::size_t>(vectors));
    for (std::string_view line : linesOf(out)) {
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
            samples[static_cast<std::size_t>(std::atoi(std::string(line).c_str()))].push_back(line);
        }
    }
    return samples;
}

// A version 2 file holds only numbers its readers read as written, each
// sample line of a vector its header declares; a table it does not write is
// refused at a line of the input. Version 2 reads tables as their programs
// meant them, with its own dialects: its samples are not version 1's.
void checkVersion2(const Result& version2, std::size_t lineEnds) {
    const Refusal& refusal = version2.conversion.refusal;
    if (version2.conversion.outcome != ConversionOutcome::Converted) {
        check(version2.conversion.outcome == ConversionOutcome::Refused, "reading and writing memory does not fail",
              version2);
        check(refusal.line >= 1 && static_cast<std::size_t>(refusal.line) <= lineEnds + 1,
              "a refusal names a line of the input", version2);
        check(version2.output.empty(), "a refused table writes nothing", version2);
        return;
    }
    check(version2.inputEnded, "a completed conversion read the whole input", version2);
    check(version2.vectors > 0, "a version 2 file declares a vector", version2);
    check(startsWith(version2.output, "version 2\r\nrun "), "a version 2 file starts with its version", version2);
    for (std::string_view line : linesOf(version2.output)) {
        if (line.empty() || line[0] < '0' || line[0] > '9') {
            continue;
        }
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        check(first != std::string_view::npos && second != std::string_view::npos &&
                  std::atoi(std::string(line.substr(0, first)).c_str()) < version2.vectors,
              "a sample line holds the id of a declared vector, an abscissa and a value", version2);
        check(isExactAbscissa(line.substr(first + 1, second - first - 1)) && isReadableValue(line.substr(second + 1)),
              "version 2 holds only numbers its readers read as written", version2);
    }
}

// Two readings of one table give one version 2 file: the same outcome, the
// same samples of each vector in the same order, the same warnings. The
// blocks' sizes decide only how vectors alternate in the file.
void checkSameVersion2(const Result& a, const Result& b, const char* property) {
    const Conversion& one = a.conversion;
    const Conversion& other = b.conversion;
    check(one.outcome == other.outcome && one.refusal.reason == other.refusal.reason &&
              one.refusal.line == other.refusal.line && one.refusedText == other.refusedText &&
              one.leftOut == other.leftOut && one.firstLeftOutLine == other.firstLeftOutLine &&
              sameWarnings(one.warnings, other.warnings),
          property, a);
    if (one.outcome == ConversionOutcome::Converted) {
        check(samplesByVector(a.output, a.vectors) == samplesByVector(b.output, b.vectors), property, a);
    }
}

Converter& wideBuffers() {
    static Converter* converter = new Converter();
    return *converter;
}

// One byte per read and the smallest output buffer: every character of the
// input sits on a buffer edge.
Converter& narrowBuffers() {
    static Converter* converter = new Converter(1, 1, 1);
    return *converter;
}

// A mid-size input buffer: rows cut straight from it cross its edges now and
// then, with what was found of the rows before carried over; the output
// buffer fills mid-row.
Converter& middleBuffers() {
    static Converter* converter = new Converter(33, VectorFile::kMaxReserve);
    return *converter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t lineEnds = 0;
    bool hasCarriageReturn = false;
    for (std::size_t i = 0; i < size; ++i) {
        lineEnds += data[i] == '\n';
        hasCarriageReturn = hasCarriageReturn || data[i] == '\r';
    }

    const Result result = convert(wideBuffers(), data, size, 0xA5);
    checkOutcome(result, lineEnds);
    checkShape(result);

    const Result narrow = convert(narrowBuffers(), data, size, 0x5A);
    checkSame(result, narrow, "the result depends neither on buffer edges nor on earlier table contents");
    checkSame(result, convert(middleBuffers(), data, size, 0xC3), "rows cut across buffer edges come out the same");

    // Version 2's reading: its common rows cut straight from the buffer
    // (wide), by the token step alone (one byte a read) and across the
    // buffer's edges, into blocks of every size.
    const Result version2 = convert(wideBuffers(), data, size, 0xA5, VectorFormat::Version2);
    checkVersion2(version2, lineEnds);
    checkSameVersion2(version2, convert(narrowBuffers(), data, size, 0x5A, VectorFormat::Version2),
                      "a version 2 file depends neither on buffer edges nor on blocks nor on earlier tables");
    checkSameVersion2(version2, convert(middleBuffers(), data, size, 0xC3, VectorFormat::Version2),
                      "version 2 rows cut across buffer edges come out the same");

    // Without a CR of its own, the same table with CR LF line ends must give
    // the same result.
    if (!hasCarriageReturn) {
        std::vector<std::uint8_t> crlf;
        crlf.reserve(size + lineEnds);
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == '\n') {
                crlf.push_back('\r');
            }
            crlf.push_back(data[i]);
        }
        const Result converted = convert(wideBuffers(), crlf.data(), crlf.size(), 0x3C);
        checkSame(result, converted, "CR LF line ends give the same result as LF");
        checkSameVersion2(version2, convert(wideBuffers(), crlf.data(), crlf.size(), 0x3C, VectorFormat::Version2),
                          "CR LF line ends give the same version 2 file as LF");
    }
    return 0;
}
