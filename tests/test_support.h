// Helpers shared by the tests: readable byte strings and in-memory conversion.
#ifndef MORVALE_TESTS_TEST_SUPPORT_H
#define MORVALE_TESTS_TEST_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "vecfile/conversion.h"

namespace morvale::test {

// The text with TAB, CR, LF and other control bytes made visible, so that a
// failing comparison shows where two outputs differ.
inline std::string visible(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        switch (c) {
        case '\t': shown += "\\t"; break;
        case '\r': shown += "\\r"; break;
        case '\n': shown += "\\n\n"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                shown += hex;
            } else {
                shown += static_cast<char>(c);
            }
        }
    }
    return shown;
}

// Lines joined with CR LF, each one ended: the shape of a vector file.
inline std::string crlfLines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// A table's text with every LF turned into CR LF.
inline std::string withCrLf(const std::string& text) {
    std::string converted;
    for (char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    return converted;
}

// Writes the bytes to a new temporary file and returns its name; the caller
// removes it.
inline std::string writeTempFile(const std::string& bytes) {
    char name[] = "/tmp/morvale-test-XXXXXX";
    const int fd = mkstemp(name);
    std::FILE* file = fdopen(fd, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return name;
}

struct Converted {
    Conversion conversion;
    std::string output;  // empty unless the table was converted
};

// Converts a table held in memory exactly as the tool converts a file, and
// returns what the vector file holds afterwards.
inline Converted convertText(const std::string& table, std::size_t sourceBuffer = CharSource::kDefaultBufferSize,
                             std::size_t outputBuffer = VectorFile::kDefaultBufferSize) {
    const std::unique_ptr<Converter> converter(new Converter(sourceBuffer, outputBuffer));
    converter->source.openMemory(table.data(), table.size());
    Converted result;
    converter->output.attachMemory(&result.output);
    result.conversion = convertTable(*converter, nullptr);
    return result;
}

// Where a version 2 file converted in memory says its data came from.
inline Provenance testProvenance() {
    Provenance provenance;
    provenance.runId = "t-20260101-000000-00000000";
    provenance.table = "t.txt";
    provenance.converted = "2026-01-01T00:00:00Z";
    provenance.converter = "morvale 1.0";
    return provenance;
}

// The lines a version 2 file of testProvenance() starts with.
inline const std::string kTestHeading = "version 2\r\nrun \"t-20260101-000000-00000000\"\r\nattr table \"t.txt\"\r\n"
                                        "attr converted 2026-01-01T00:00:00Z\r\nattr converter \"morvale 1.0\"\r\n";

// The same as a version 2 file, with samples gathered in blocks of at most
// `largestBlock` bytes.
inline Converted convertTextToVersion2(const std::string& table,
                                       std::size_t sourceBuffer = CharSource::kDefaultBufferSize,
                                       std::size_t outputBuffer = VectorFile::kDefaultBufferSize,
                                       std::size_t largestBlock = SampleBlocks::kLargestBlock) {
    const std::unique_ptr<Converter> converter(new Converter(sourceBuffer, outputBuffer, largestBlock));
    converter->format = VectorFormat::Version2;
    converter->provenance = testProvenance();
    converter->source.openMemory(table.data(), table.size());
    Converted result;
    converter->output.attachMemory(&result.output);
    result.conversion = convertTable(*converter, nullptr);
    return result;
}

}  // namespace morvale::test

#endif
