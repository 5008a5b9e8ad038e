// Writes a large, well-formed table to standard output for the benchmark.
//
//   make_table LAYOUT BYTES [crlf] [tab|comma|semicolon]
//
// LAYOUT is `narrow` (one-line header, one data column), `wide` (one-line
// header, eight data columns) or `grouped` (three-line header, four groups,
// eight data columns). Rows are added until the table holds at least BYTES
// bytes. `crlf` ends lines with CR LF instead of LF; `tab`, `comma` and
// `semicolon` separate names and values by one such character instead of a
// blank, `semicolon` with a decimal comma in every number (the same names and
// values: the same vector file with --format 2).
//
// The output depends on nothing but the arguments: the values come from a
// fixed pseudo-random sequence and are formatted with integer arithmetic only,
// so every machine makes the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Layout {
    const char* name;
    int columns;  // data columns per row
    const char* header;
};

const Layout kLayouts[] = {
    {"narrow", 1, "Time V\n-----------\n"},
    {"wide", 8, "Time V1 V2 V3 V4 V5 V6 V7 V8\n==============================\n"},
    {"grouped", 8, "Freq Gain Phase Delay Noise\nport1 port2 port3 port4\nmag db mag db re im re im\n"
                   "==============================\n"},
};

// A 64-bit linear congruential sequence; its upper bits are used.
class Sequence {
public:
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }

private:
    std::uint64_t state_ = 0x4d4f5256414c45ULL;
};

// Appends `value` with exactly `digits` digits, zero-padded.
void appendDigits(std::string& out, std::uint32_t value, int digits) {
    char text[16];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(text, static_cast<std::size_t>(digits));
}

// Values like 0.000123456, -0.004711 and -1.2345e-05.
void appendValue(std::string& out, Sequence& sequence) {
    const std::uint32_t r = sequence.next();
    if (r & 1) {
        out += '-';
    }
    switch ((r >> 1) % 3) {
    case 0:  // fixed point, nine decimals
        out += "0.";
        appendDigits(out, (r >> 3) % 1000000, 9);
        break;
    case 1:  // fixed point, six decimals
        appendDigits(out, (r >> 3) % 10, 1);
        out += '.';
        appendDigits(out, (r >> 7) % 1000000, 6);
        break;
    default:  // exponent form
        appendDigits(out, 1 + (r >> 3) % 9, 1);
        out += '.';
        appendDigits(out, (r >> 7) % 10000, 4);
        out += "e-";
        appendDigits(out, 1 + (r >> 21) % 12, 2);
        break;
    }
}

// The abscissa grows by 0.000123456 per row.
void appendAbscissa(std::string& out, std::uint64_t row) {
    const std::uint64_t nanos = row * 123456;
    out += std::to_string(nanos / 1000000000);
    out += '.';
    appendDigits(out, static_cast<std::uint32_t>(nanos % 1000000000), 9);
}

void toCrLf(std::string& text) {
    std::string converted;
    for (char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    text.swap(converted);
}

}  // namespace

// Writes the points of the row that starts at `row` as commas.
void takeDecimalCommas(std::string& chunk, std::size_t row) {
    for (std::size_t at = row; at < chunk.size(); ++at) {
        chunk[at] = chunk[at] == '.' ? ',' : chunk[at];
    }
}

// Reads the options after the size; false for one it does not know.
bool readOptions(int argc, char** argv, bool& crlf, char& separator) {
    for (int index = 3; index < argc; ++index) {
        if (std::strcmp(argv[index], "crlf") == 0) {
            crlf = true;
        } else if (std::strcmp(argv[index], "tab") == 0) {
            separator = '\t';
        } else if (std::strcmp(argv[index], "comma") == 0) {
            separator = ',';
        } else if (std::strcmp(argv[index], "semicolon") == 0) {
            separator = ';';
        } else {
            return false;
        }
    }
    return true;
}

// The names of the header's first line separated by `separator`.
void separateNames(std::string& header, char separator) {
    for (std::size_t at = 0; at < header.size() && header[at] != '\n'; ++at) {
        header[at] = header[at] == ' ' ? separator : header[at];
    }
}

int main(int argc, char** argv) {
    bool crlf = false;
    char separator = ' ';
    if (argc < 3 || !readOptions(argc, argv, crlf, separator)) {
        std::fprintf(stderr, "use: make_table narrow|wide|grouped BYTES [crlf] [tab|comma|semicolon]\n");
        return 2;
    }
    const Layout* layout = nullptr;
    for (const Layout& candidate : kLayouts) {
        if (std::strcmp(argv[1], candidate.name) == 0) {
            layout = &candidate;
        }
    }
    char* end = nullptr;
    const unsigned long long size = std::strtoull(argv[2], &end, 10);
    if (layout == nullptr || end == argv[2] || *end != '\0') {
        std::fprintf(stderr, "make_table: bad layout or size\n");
        return 2;
    }
    std::string chunk = layout->header;
    separateNames(chunk, separator);
    if (crlf) {
        toCrLf(chunk);
    }
    unsigned long long written = 0;
    Sequence sequence;
    for (std::uint64_t row = 0; written + chunk.size() < size || row == 0; ++row) {
        const std::size_t rowStart = chunk.size();
        appendAbscissa(chunk, row);
        for (int column = 0; column < layout->columns; ++column) {
            chunk += separator;
            appendValue(chunk, sequence);
        }
        if (crlf) {
            chunk += '\r';
        }
        chunk += '\n';
        if (separator == ';') {
            takeDecimalCommas(chunk, rowStart);
        }
        if (chunk.size() >= 1 << 16) {
            written += chunk.size();
            std::fwrite(chunk.data(), 1, chunk.size(), stdout);
            chunk.clear();
        }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
