// libFuzzer target: arbitrary bytes converted as a table, in memory, by the
// same code the tool runs. Surviving is not enough: the vector file must have
// the shape its header prescribes, and the result must not depend on where
// the input's buffer ends, on what the token tables held before, or on
// whether the lines end in LF or CR LF. A violated property aborts, which
// libFuzzer reports as a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver.h"

namespace {

using namespace morvale;

// The state of one conversion, allocated once and reused like the tool's.
struct Harness {
    Harness(std::size_t sourceBuffer, std::size_t outputBuffer) : source(sourceBuffer), output(outputBuffer) {}
    CharSource source;
    VectorFile output;
    HeaderInfo header;
    RowTable row;
};

struct Result {
    Refusal refusal;
    bool refusedInHeader = false;
    bool inputEnded = false;
    bool writeFailed = false;
    int vectors = 0;
    HeaderLayout layout = HeaderLayout::OneLine;
    int columns = 0;
    std::string output;
};

[[noreturn]] void violated(const char* property, const Result& result) {
    std::fprintf(stderr, "property violated: %s (refusal: %s, line %ld; %zu output bytes)\n", property,
                 result.refusal ? result.refusal.reason : "none", result.refusal.line, result.output.size());
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
void fillTables(Harness& harness, unsigned char stale) {
    for (TokenTable* table : {&harness.header.nameTable, &harness.header.subNameTable, &harness.header.pairNameTable,
                              &harness.row}) {
        for (int slot = 0; slot < TokenTable::kSlots; ++slot) {
            table->put(slot, 0, static_cast<char>(stale));
            table->put(slot, 1, static_cast<char>(stale));
            table->terminate(slot, 2);
        }
    }
}

// Converts exactly as the tool converts a file, into memory.
Result convert(Harness& harness, const std::uint8_t* data, std::size_t size, unsigned char stale) {
    fillTables(harness, stale);
    Result result;
    harness.source.openMemory(data, size);
    char current = 0;
    result.refusal = readHeader(harness.source, current, harness.header);
    if (result.refusal) {
        result.refusedInHeader = true;
        return result;
    }
    result.vectors = harness.header.vectorCount();
    result.layout = harness.header.layout;
    result.columns = harness.header.columnCount;
    harness.output.attachMemory(&result.output);
    result.refusal = writeVectorFile(harness.source, current, harness.header, harness.row, harness.output);
    result.inputEnded = harness.source.atEnd();
    result.writeFailed = !harness.output.close();
    harness.source.close();
    return result;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool knownReason(const char* reason) {
    static const char* const kReasons[] = {"name longer than 255 characters", "more than 1023 data columns",
                                           "value longer than 255 characters"};
    for (const char* known : kReasons) {
        if (std::strcmp(reason, known) == 0) {
            return true;
        }
    }
    return false;
}

// A refusal names a line the input has; a completed conversion has read the
// whole input and written all of it.
void checkOutcome(const Result& result, std::size_t lineEnds) {
    if (result.refusal) {
        check(knownReason(result.refusal.reason), "a refusal gives a known reason", result);
        check(result.refusal.line >= 1 && static_cast<std::size_t>(result.refusal.line) <= lineEnds + 1,
              "a refusal names a line of the input", result);
        if (std::strcmp(result.refusal.reason, "more than 1023 data columns") == 0) {
            check(result.refusedInHeader && result.refusal.line == 1, "too many columns is found on line 1",
                  result);
        }
        return;
    }
    check(result.inputEnded, "a completed conversion read the whole input", result);
    check(!result.writeFailed, "writing into memory does not fail", result);
}

// The vector file's shape: CR LF line ends; the declarations the layout
// prescribes; then whole rows of V sample lines, ids 0 to V - 1 in order.
void checkShape(const Result& result) {
    if (result.refusedInHeader) {
        return;  // no output is opened
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

void checkSame(const Result& a, const Result& b, const char* property) {
    const bool sameRefusal = static_cast<bool>(a.refusal) == static_cast<bool>(b.refusal) &&
                             (!a.refusal || (std::strcmp(a.refusal.reason, b.refusal.reason) == 0 &&
                                             a.refusal.line == b.refusal.line));
    check(sameRefusal && a.refusedInHeader == b.refusedInHeader && a.output == b.output, property, a);
}

Harness& wideBuffers() {
    static Harness* harness = new Harness(CharSource::kDefaultBufferSize, VectorFile::kDefaultBufferSize);
    return *harness;
}

// One byte per read and the smallest output buffer: every character of the
// input sits on a buffer edge.
Harness& narrowBuffers() {
    static Harness* harness = new Harness(1, 1);
    return *harness;
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
    }
    return 0;
}
