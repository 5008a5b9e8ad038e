// The vector file of each header layout, from whole tables converted in
// memory exactly as the tool converts files.
#include "vecfile/vector_writer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"
#include "vecfile/sample_lines.h"

namespace morvale {
namespace {

using test::convertText;
using test::crlfLines;
using test::visible;
using test::withCrLf;

struct FileCase {
    const char* what;
    std::string table;  // with LF line ends; also converted with CR LF
    std::string vectorFile;
};

const FileCase kFileCases[] = {
    {"one-line example", "Time A B\n-----\n0 1 2\n1 3 4\n",
     crlfLines({"vector\t0\t\"Time\"\t\"A\"", "vector\t1\t\"Time\"\t\"B\"", "", "0\t0\t1", "1\t0\t2", "0\t1\t3",
                "1\t1\t4"})},
    {"three-line example", "T G1 G2\nS1 S2\nm1 x1 m2 x2\n=====\n0 1 2 3 4\n1 5 6 7 8\n",
     crlfLines({"vector\t0\t\"T\"\t\"G1.S1.m1\"", "vector\t2\t\"T\"\t\"G2.S2.m2\"", "", "",
                "vector\t1\t\"T\"\t\"G1.S1.x1\"", "vector\t3\t\"T\"\t\"G2.S2.x2\"", "0\t0\t1", "1\t0\t2", "2\t0\t3",
                "3\t0\t4", "0\t1\t5", "1\t1\t6", "2\t1\t7", "3\t1\t8"})},
    {"declaration ids run even then odd; samples in order", "t a b c\ns u v\np q r s x y\n-\n9 1 2 3 4 5 6\n",
     crlfLines({"vector\t0\t\"t\"\t\"a.s.p\"", "vector\t2\t\"t\"\t\"b.u.r\"", "vector\t4\t\"t\"\t\"c.v.x\"", "", "",
                "vector\t1\t\"t\"\t\"a.s.q\"", "vector\t3\t\"t\"\t\"b.u.s\"", "vector\t5\t\"t\"\t\"c.v.y\"",
                "0\t9\t1", "1\t9\t2", "2\t9\t3", "3\t9\t4", "4\t9\t5", "5\t9\t6"})},
    {"no columns, one-line", "Time\n---\n1\n2\n", crlfLines({""})},
    {"no columns, three-line", "Time\nS\nP\n---\n1\n2\n", crlfLines({"", ""})},
    {"no rows", "T A\n--\n", crlfLines({"vector\t0\t\"T\"\t\"A\"", ""})},
    {"separator line ends the file", "T A\n--", crlfLines({"vector\t0\t\"T\"\t\"A\"", ""})},
    {"empty rows still give every vector a line", "T A B\n--\n\n1 2 3\n\n",
     crlfLines({"vector\t0\t\"T\"\t\"A\"", "vector\t1\t\"T\"\t\"B\"", "", "0\t\t", "1\t\t", "0\t1\t2", "1\t1\t3",
                "0\t\t", "1\t\t"})},
    {"last row without line end", "T A\n--\n1 2\n3 4",
     crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t1\t2", "0\t3\t4"})},
    {"missing group name parts keep their dots", "T G1 G2\nS1\n\n=\n",
     crlfLines({"vector\t0\t\"T\"\t\"G1.S1.\"", "vector\t2\t\"T\"\t\"G2..\"", "", "", "vector\t1\t\"T\"\t\"G1.S1.\"",
                "vector\t3\t\"T\"\t\"G2..\""})},
    {"quotes and TABs are copied unchanged", "T \"A\"\tx\n--\n0 \"1\"\n",
     crlfLines({"vector\t0\t\"T\"\t\"\"A\"\tx\"", "", "0\t0\t\"1\""})},
    {"no separator line: the first row after the header loses its first character", "T A\n1 2\n3 4\n5 6\n7 8\n",
     crlfLines({"vector\t0\t\"T\"\t\"A.1.3\"", "", "", "vector\t1\t\"T\"\t\"A.1.4\"", "0\t 6\t", "1\t 6\t", "0\t7\t8",
                "1\t7\t"})},
    {"name containing a dash", "Time A-B C\n-----\n0 1 2\n",
     crlfLines({"vector\t0\t\"Time\"\t\"A.B.\"", "", "", "vector\t1\t\"Time\"\t\"A.B.\"", "0\t0\t1", "1\t0\t2"})},
    {"byte-order mark is not part of the module name", "\xEF\xBB\xBFTime A\n-\n0 1\n",
     crlfLines({"vector\t0\t\"Time\"\t\"A\"", "", "0\t0\t1"})},
    {"0x1A ends the table", "T A\n-\n0 1\n\x1A" "2 3\n", crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t0\t1"})},
};

TEST(VectorWriter, WritesEachLayoutByteForByteWithEitherLineEnd) {
    for (const FileCase& c : kFileCases) {
        for (const std::string& table : {c.table, withCrLf(c.table)}) {
            const test::Converted result = convertText(table, 2);
            ASSERT_EQ(result.conversion.outcome, ConversionOutcome::Converted) << c.what;
            EXPECT_EQ(visible(result.output), visible(c.vectorFile)) << c.what;
        }
    }
}

TEST(VectorWriter, OneLineExampleIsExactly72Bytes) {
    const std::string output = convertText("Time A B\r\n-----\r\n0 1 2\r\n1 3 4\r\n").output;
    ASSERT_EQ(output.size(), 72u);
    EXPECT_EQ(output.substr(0, 21), "vector\t0\t\"Time\"\t\"A\"\r\n");
    EXPECT_EQ(output.substr(42, 2), "\r\n");
    EXPECT_EQ(output.substr(44, 7), "0\t0\t1\r\n");
}

TEST(VectorWriter, WideTablesUseEveryIdAndLongValuesWhole) {
    std::string header = "T";
    std::string row = "0.5";
    for (int column = 0; column < 1023; ++column) {
        header += " c" + std::to_string(column);
        row += " " + std::string(column == 1022 ? 255 : 3, static_cast<char>('a' + column % 26));
    }
    const std::string output = convertText(header + "\n-\n" + row + "\n" + row + "\n").output;
    EXPECT_NE(output.find("vector\t1022\t\"T\"\t\"c1022\"\r\n\r\n0\t0.5\taaa\r\n"), std::string::npos);
    const std::string lastLine = "1022\t0.5\t" + std::string(255, 'a' + 1022 % 26) + "\r\n";
    ASSERT_GE(output.size(), lastLine.size());
    EXPECT_EQ(output.substr(output.size() - lastLine.size()), lastLine);
    EXPECT_NE(output.find("\r\n999\t0.5\t"), std::string::npos);

    EXPECT_EQ(convertText(header + " c1023\n-\n").conversion.outcome, ConversionOutcome::Refused);
}

// Sample lines copy short tokens in fixed blocks: every length around a
// block's edge must still come out whole and alone, the longer token of a
// row before the shorter one so that nothing of it shows through.
TEST(VectorWriter, TokensOfEveryLengthComeOutWhole) {
    std::string table = "T A B\n-\n";
    std::string expected = crlfLines({"vector\t0\t\"T\"\t\"A\"", "vector\t1\t\"T\"\t\"B\""}) + "\r\n";
    for (std::size_t length = 1; length <= 70; ++length) {
        const std::string abscissa(length, 'a');
        const std::string longer = std::string(length, 'x') + "y";
        const std::string value(length, 'v');
        table += abscissa + " " + longer + " " + value + "\n";
        expected += "0\t" + abscissa + "\t" + longer + "\r\n1\t" + abscissa + "\t" + value + "\r\n";
    }
    EXPECT_EQ(visible(convertText(table).output), visible(expected));
}

// A row's lines that do not fit what is left of the output's buffer are
// written once it has been emptied, by either way of cutting rows.
TEST(VectorWriter, OutputBufferEdgesChangeNothing) {
    for (int columns : {3, 12}) {
        std::string table = "Time";
        for (int column = 0; column < columns; ++column) {
            table += " c" + std::to_string(column);
        }
        table += "\n---\n";
        for (int i = 0; i < 3000; ++i) {
            table += std::to_string(i);
            for (int column = 0; column < columns; ++column) {
                table += " " + std::to_string(i * 7 + column) + (column % 2 == 0 ? "" : "e-0" + std::to_string(i % 10));
            }
            table += "\n";
        }
        const std::string whole = convertText(table).output;
        for (std::size_t size : {4096u, 4097u, 5000u}) {
            for (std::size_t sourceBuffer : {std::size_t{1}, CharSource::kDefaultBufferSize}) {
                const test::Converted result = convertText(table, sourceBuffer, size);
                ASSERT_EQ(result.conversion.outcome, ConversionOutcome::Converted);
                EXPECT_TRUE(result.output == whole) << columns << " columns, output buffer " << size << ", input buffer " << sourceBuffer;
            }
        }
    }
}

struct Version2Case {
    const char* what;
    std::string table;  // with LF line ends; also converted with CR LF
    std::string vectorFile;  // after the heading; empty when refused
    long leftOut;
    long firstLeftOutLine;
    long refusedLine;
    std::string refusedText;
    Refusal::Reason refusedFor = Refusal::Reason::NotAnExactNumber;
};

// A version 2 file: the heading, the declarations of version 1 with names
// escaped, each vector's samples together, only numbers the readers read as
// written, and no sample with an empty abscissa or value.
TEST(VectorWriter, WritesVersion2FilesByteForByte) {
    const std::string oneLineDeclarations = crlfLines({"vector\t0\t\"Time\"\t\"A\"", "vector\t1\t\"Time\"\t\"B\"", ""});
    const Version2Case cases[] = {
        {"one-line example", "Time A B\n-----\n0 1 2\n1 3 4\n",
         oneLineDeclarations + crlfLines({"0\t0\t1", "0\t1\t3", "1\t0\t2", "1\t1\t4"}), 0, 0, 0, ""},
        {"three-line example", "T G1 G2\nS1 S2\nm1 x1 m2 x2\n=====\n0 1 2 3 4\n1 5 6 7 8\n",
         crlfLines({"vector\t0\t\"T\"\t\"G1.S1.m1\"", "vector\t2\t\"T\"\t\"G2.S2.m2\"", "", "",
                    "vector\t1\t\"T\"\t\"G1.S1.x1\"", "vector\t3\t\"T\"\t\"G2.S2.x2\"", "0\t0\t1", "0\t1\t5",
                    "1\t0\t2", "1\t1\t6", "2\t0\t3", "2\t1\t7", "3\t0\t4", "3\t1\t8"}),
         0, 0, 0, ""},
        {"quotes and backslashes escaped, TABs and UTF-8 as they are", "C:\\temp,\"\"\"A\"\"\tb\",\xC3\xA9\\\n--\n0,1,2\n",
         crlfLines({"vector\t0\t\"C:\\\\temp\"\t\"\\\"A\\\"\tb\"", "vector\t1\t\"C:\\\\temp\"\t\"\xC3\xA9\\\\\"", "",
                    "0\t0\t1", "1\t0\t2"}),
         0, 0, 0, ""},
        {"empty values and empty rows are no samples", "Time A B\n--\n0 1\n\n1 2 3\n  \n",
         oneLineDeclarations + crlfLines({"0\t0\t1", "0\t1\t2", "1\t1\t3"}), 1, 3, 0, ""},
        {"every form strtod reads", "T A\n--\n-1 +.5e+3\n2 0x1A\n3 -Infinity\n4 nan\n5 5.\n6 1e400\n",
         crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t-1\t+.5e+3", "0\t2\t0x1A", "0\t3\t-Infinity", "0\t4\tnan",
                    "0\t5\t5.", "0\t6\t1e400"}),
         0, 0, 0, ""},
        {"an abscissa of the readers' 18 places and 64 bits", "T A\n--\n0.000000000000000001 1\n9223372036854775807 2\n1.5E+02 3\n",
         crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t0.000000000000000001\t1", "0\t9223372036854775807\t2",
                    "0\t1.5E+02\t3"}),
         0, 0, 0, ""},
        {"a value that is no number", "T A B\n--\n0 1 2\n1 2 abc\n", "", 0, 0, 4, "abc"},
        {"a decimal comma", "T A\n--\n0 1,5\n", "", 0, 0, 3, "1,5"},
        {"abscissas of more digits than stored, as the shortest decimals of their doubles",
         "Time A B\n--\n1.000000000000000056e-01 1 2\n-9.876543210987654321e+03 3 4\n0.0000000000000000000 5 6\n",
         oneLineDeclarations + crlfLines({"0\t0.1\t1", "0\t-9876.543210987655\t3", "0\t0\t5", "1\t0.1\t2",
                                          "1\t-9876.543210987655\t4", "1\t0\t6"}),
         0, 0, 0, ""},
        {"an abscissa the readers would change", "T A\n--\n0 1\n1e-30 2\n", "", 0, 0, 4, "1e-30",
         Refusal::Reason::NotAnExactAbscissa},
        {"an abscissa whose shortest decimal needs 21 places", "T A\n--\n1.234567890123456789e-05 1\n", "", 0, 0, 3,
         "1.234567890123456789e-05", Refusal::Reason::NotAnExactAbscissa},
        {"an abscissa too large", "T A\n--\n9223372036854775808 1\n", "", 0, 0, 3, "9223372036854775808",
         Refusal::Reason::NotAnExactAbscissa},
        {"a hexadecimal abscissa", "T A\n--\n0x1A 1\n", "", 0, 0, 3, "0x1A", Refusal::Reason::NotAnExactAbscissa},
        {"an abscissa that is no number", "T A\n--\nabc 1\n", "", 0, 0, 3, "abc"},
        {"a right-aligned row", "T A\n--\n 0 1\n", crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t0\t1"}), 0, 0, 0,
         ""},
        {"a value beyond the vectors is never read", "T A\n--\n0 1 abc\n", crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t0\t1"}),
         0, 0, 0, ""},
        {"a number refused on the last line, which has no line end", "T A\n--\n0 1\n1 x", "", 0, 0, 4, "x"},
        {"rows with no value give no sample, whatever their abscissa", "T A\n--\n0 1\nEND\n1e400\n",
         crlfLines({"vector\t0\t\"T\"\t\"A\"", "", "0\t0\t1"}), 2, 4, 0, ""},
        {"an abscissa that a zero byte empties", std::string("T A B\n--\n\0 1 2\n1 3 4\n", 21),
         crlfLines({"vector\t0\t\"T\"\t\"A\"", "vector\t1\t\"T\"\t\"B\"", "", "0\t1\t3", "1\t1\t4"}), 2, 3, 0, ""},
    };
    for (const Version2Case& c : cases) {
        for (const std::string& table : {c.table, withCrLf(c.table)}) {
            for (std::size_t sourceBuffer : {std::size_t{1}, CharSource::kDefaultBufferSize}) {
                const test::Converted result = test::convertTextToVersion2(table, sourceBuffer);
                const Conversion& conversion = result.conversion;
                if (c.refusedLine != 0) {
                    ASSERT_EQ(conversion.outcome, ConversionOutcome::Refused) << c.what;
                    EXPECT_EQ(conversion.refusal.reason, c.refusedFor) << c.what;
                    EXPECT_EQ(conversion.refusal.line, c.refusedLine) << c.what;
                    EXPECT_EQ(conversion.refusedText, c.refusedText) << c.what;
                    EXPECT_EQ(result.output, "") << c.what;
                    continue;
                }
                ASSERT_EQ(conversion.outcome, ConversionOutcome::Converted) << c.what;
                EXPECT_EQ(visible(result.output), visible(test::kTestHeading + c.vectorFile)) << c.what;
                EXPECT_EQ(conversion.leftOut, c.leftOut) << c.what;
                EXPECT_EQ(conversion.firstLeftOutLine, c.firstLeftOutLine) << c.what;
            }
        }
    }
}

// The heading's texts come from outside the table: whatever a file's name
// holds, each stays on its line, quoted as the readers unquote it.
TEST(VectorWriter, TheHeadingKeepsEachTextOnItsLine) {
    const struct {
        const char* what;
        std::string table;
        std::string written;  // between the quotes of the run line and of the table attribute
    } cases[] = {
        {"a plain name", "t.txt", "t.txt"},
        {"quotes and backslashes", "a\"b\\c.txt", "a\\\"b\\\\c.txt"},
        {"line ends", "a\nb\rc.txt", "a?b?c.txt"},
        {"other control characters, and a TAB", "a\x01" "b\x7F\tc.txt", "a?b?\tc.txt"},
        {"UTF-8", "t\xC3\xA9.txt", "t\xC3\xA9.txt"},
    };
    for (const auto& c : cases) {
        Provenance provenance = test::testProvenance();
        provenance.runId = c.table;
        provenance.table = c.table;
        std::string bytes;
        VectorFile output;
        output.attachMemory(&bytes);
        writeHeading(output, provenance);
        ASSERT_TRUE(output.close());
        EXPECT_EQ(visible(bytes), visible("version 2\r\nrun \"" + c.written + "\"\r\nattr table \"" + c.written +
                                          "\"\r\nattr converted 2026-01-01T00:00:00Z\r\nattr converter \"morvale 1.0\"\r\n"))
            << c.what;
    }
}

// A vector's block that is full is written out when its next line comes: the
// vectors' blocks then alternate in the file, each vector's samples still in
// row order.
TEST(VectorWriter, Version2BlocksAreWrittenAsTheyFill) {
    // Two lines of 7 bytes fit a block that must keep a longest line's room.
    const std::size_t twoLines = kMaxSampleLine + 2 * 7 - 1;
    const std::string table = "T A B\n--\n0 1 2\n1 3 4\n2 5 6\n";
    const test::Converted result = test::convertTextToVersion2(table, CharSource::kDefaultBufferSize,
                                                               VectorFile::kDefaultBufferSize, twoLines);
    EXPECT_EQ(visible(result.output),
              visible(test::kTestHeading +
                      crlfLines({"vector\t0\t\"T\"\t\"A\"", "vector\t1\t\"T\"\t\"B\"", "", "0\t0\t1", "0\t1\t3",
                                 "1\t0\t2", "1\t1\t4", "0\t2\t5", "1\t2\t6"})));
}

// The new file takes the target's name only when every byte of it was
// written and its identity is known; otherwise the target keeps its bytes
// and nothing else is left, or the file left is named.
TEST(VectorWriter, ReplacesTheTargetOnlyWhenEverythingWasWritten) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("morvale-writer-" + std::to_string(getpid()));
    const struct {
        const char* what;
        files::Faults faults;
        int error;
        bool left;  // the new file could not be removed
    } cases[] = {
        {"written whole", {}, 0, false},
        {"a failed write", {0, ENOSPC, 0}, ENOSPC, false},
        {"a failed close", {0, 0, EIO}, EIO, false},
        {"an unknown identity", {0, 0, 0, 0, EIO, 0}, EIO, false},
        {"a failed write and remove", {0, ENOSPC, 0, EROFS}, ENOSPC, true},
    };
    const std::string earlier = "an earlier conversion\r\n";
    const std::string line = "0\t0.000125\t1.2500\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        fs::create_directory(folder);
        const fs::path target = folder / "t.vec";
        { std::ofstream(target, std::ios::binary) << earlier; }
        VectorFile output(4096);
        ASSERT_TRUE(output.open(target.c_str()));
        std::string expected;
        for (int i = 0; i < 1000; ++i) {
            output.append(line);
            expected += line;
        }
        files::injectFaults(c.faults);
        EXPECT_EQ(output.close(), c.error == 0);
        EXPECT_EQ(output.error(), c.error);
        files::injectFaults({});
        std::ifstream in(target, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(bytes == (c.error == 0 ? expected : earlier));
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), c.left ? 2 : 1);
        EXPECT_EQ(!output.leftover().empty() && fs::exists(output.leftover()), c.left) << output.leftover();
        EXPECT_EQ(output.leftoverError(), c.left ? EROFS : 0);
    }
    fs::remove_all(folder);
}

// Starting a vector file holds interruptions back for a moment; signals the
// caller had held back stay held back afterwards.
TEST(VectorWriter, StartingAFileKeepsTheSignalsTheCallerHeldBack) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigset_t before;
    ASSERT_EQ(sigprocmask(SIG_BLOCK, &blocked, &before), 0);
    const std::string target = std::filesystem::temp_directory_path() / ("morvale-mask-" + std::to_string(getpid()) + ".vec");
    VectorFile output(4096);
    ASSERT_TRUE(output.open(target.c_str()));
    output.abandon();
    sigset_t after;
    sigprocmask(SIG_SETMASK, &before, &after);
    EXPECT_TRUE(sigismember(&after, SIGTERM));
    EXPECT_FALSE(sigismember(&after, SIGINT));
}

}  // namespace
}  // namespace morvale
