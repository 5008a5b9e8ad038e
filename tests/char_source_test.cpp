// The character source: text conventions, end of input and read errors, on
// every buffer size from one byte up.
#include "table/char_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "test_support.h"

namespace morvale {
namespace {

using test::visible;
using test::writeTempFile;

constexpr std::size_t kBufferSizes[] = {1, 2, 3, 7, CharSource::kDefaultBufferSize};

// Every character delivered before the input ended.
std::string drain(CharSource& source) {
    std::string delivered;
    for (char c = source.next(); !source.atEnd(); c = source.next()) {
        delivered += c;
    }
    return delivered;
}

struct ConventionCase {
    const char* what;
    std::string input;
    std::string delivered;
};

const ConventionCase kConventionCases[] = {
    {"LF line ends pass through", "a b\n1 2\n", "a b\n1 2\n"},
    {"CR LF arrives as LF", "a b\r\n1 2\r\n", "a b\n1 2\n"},
    {"lone CR is ordinary", "a\rb\n", "a\rb\n"},
    {"CR CR LF keeps the first CR", "a\r\r\n", "a\r\n"},
    {"CR at the very end", "a\r", "a\r"},
    {"CR before 0x1A", "a\r\x1A" "b", "a\r"},
    {"0x1A ends the input", "ab\x1A\ncd\n", "ab"},
    {"0xFF is an ordinary byte", "a\xFF" "b\n", "a\xFF" "b\n"},
    {"zero byte is delivered", std::string("a\0b", 3), std::string("a\0b", 3)},
    {"byte-order mark at the start is skipped", "\xEF\xBB\xBFTime A\n", "Time A\n"},
    {"byte-order mark elsewhere is kept", "T\xEF\xBB\xBF\n", "T\xEF\xBB\xBF\n"},
    {"partial byte-order mark is kept", "\xEF\xBBx", "\xEF\xBBx"},
    {"empty input", "", ""},
};

TEST(CharSource, AppliesTextConventionsOnEveryBufferEdge) {
    for (const ConventionCase& c : kConventionCases) {
        const std::string path = writeTempFile(c.input);
        for (std::size_t size : kBufferSizes) {
            CharSource fromFile(size);
            ASSERT_TRUE(fromFile.open(path.c_str()));
            EXPECT_EQ(visible(drain(fromFile)), visible(c.delivered)) << c.what << ", file, buffer " << size;
            EXPECT_FALSE(fromFile.readFailed()) << c.what;
        }
        CharSource fromMemory;
        fromMemory.openMemory(c.input.data(), c.input.size());
        EXPECT_EQ(visible(drain(fromMemory)), visible(c.delivered)) << c.what << ", memory";
        std::remove(path.c_str());
    }
}

// The end of a file is found without a read that finds nothing: a regular
// file ends with its last byte. Nothing is read after the end either: a read
// fault planted there would show as a read error.
TEST(CharSource, EndOfInputIsAStateSetByTheReadAfterTheLastCharacter) {
    const std::string path = writeTempFile("xyz\n");
    for (std::size_t size : kBufferSizes) {
        CharSource source(size);
        ASSERT_TRUE(source.open(path.c_str()));
        EXPECT_FALSE(source.atEnd());
        EXPECT_EQ(source.next(), 'x');
        EXPECT_EQ(source.next(), 'y');
        EXPECT_EQ(source.next(), 'z');
        EXPECT_EQ(source.next(), '\n');
        EXPECT_FALSE(source.atEnd()) << "the last character has been read, but no read has failed yet";
        files::injectFaults({EIO, 0, 0});
        EXPECT_EQ(source.next(), kEndMarker);
        EXPECT_TRUE(source.atEnd());
        EXPECT_EQ(source.next(), kEndMarker) << "a read after the end";
        EXPECT_TRUE(source.atEnd());
        EXPECT_FALSE(source.readFailed()) << "buffer " << size << ": read again after the last byte";
        files::injectFaults({});
        EXPECT_TRUE(source.close());
    }
    std::remove(path.c_str());
}

// A table that grows while it is read is read as it was when opened, so
// that the result does not depend on the buffer's size, and says how much
// it left out; opened in the middle of its last line, it is read without
// that line, which would be cut. One that shrinks is not the table it was,
// and says so.
TEST(CharSource, AFileIsReadAsItWasWhenOpened) {
    const std::string table = "T A\n1 2\n";
    const struct {
        const char* what;
        std::string last;      // the table's last line, without a line end, when it is opened
        std::string appended;  // added once the file is open
        long cut;              // bytes the file is cut to once open, or -1
        std::string read;
        long long grownBy;
        bool shrank;
        bool lastLineLeftOut;
    } cases[] = {
        {"as it was", "", "", -1, table, 0, false, false},
        {"grown", "", "3 4\n", -1, table, 4, false, false},
        {"shrunk", "", "", 5, "T A\n1", 0, true, false},
        {"emptied", "", "", 0, "", 0, true, false},
        {"as it was, without a last line end", "-3.2", "", -1, table + "-3.2", 0, false, false},
        {"grown in the middle of its last line", "-3.2", "5e-3 7\n", -1, table, 7, false, true},
        {"grown in the middle of its only line", "T A", " B\n", -1, "T A", 3, false, false},
    };
    for (const auto& c : cases) {
        for (std::size_t size : kBufferSizes) {
            SCOPED_TRACE(std::string(c.what) + ", buffer " + std::to_string(size));
            const std::string path = writeTempFile(c.last == "T A" ? c.last : table + c.last);
            CharSource source(size);
            ASSERT_TRUE(source.open(path.c_str()));
            std::FILE* file = std::fopen(path.c_str(), "ab");
            std::fputs(c.appended.c_str(), file);
            std::fclose(file);
            if (c.cut >= 0) {
                ASSERT_EQ(truncate(path.c_str(), c.cut), 0);
            }
            EXPECT_EQ(drain(source), c.read);
            EXPECT_EQ(source.grownBy(), c.grownBy);
            EXPECT_EQ(source.shrank(), c.shrank);
            EXPECT_EQ(source.lastLineLeftOut(), c.lastLineLeftOut);
            EXPECT_FALSE(source.readFailed());
            std::remove(path.c_str());
        }
    }
}

TEST(CharSource, CountsLinesForMessages) {
    const std::string input = "h\r\nx\ny\rz\n\nw";
    CharSource source(2);
    source.openMemory(input.data(), input.size());
    std::string lines;
    for (char c = source.next(); !source.atEnd(); c = source.next()) {
        if (c != '\n') {
            lines += std::to_string(source.line());
        }
    }
    EXPECT_EQ(lines, "12333" "5");
}

TEST(CharSource, OpenFailuresAndReadErrorsAreReported) {
    CharSource source;
    errno = 0;
    EXPECT_FALSE(source.open("/nonexistent/morvale/table.txt"));
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(source.open("/tmp"));
    EXPECT_EQ(errno, EISDIR);

    // Reading the start of a process's own memory file fails with an I/O
    // error: a real read error, which must end the input, not loop.
    ASSERT_TRUE(source.open("/proc/self/mem"));
    EXPECT_EQ(visible(drain(source)), "");
    EXPECT_TRUE(source.atEnd());
    EXPECT_TRUE(source.readFailed());
    EXPECT_EQ(source.readErrno(), EIO);

    // A read that fails ends the input after what earlier reads brought in,
    // for good; a close that fails is reported.
    const std::string table = "Time A\n" + std::string(3 * 1024, 'x');
    const std::string path = writeTempFile(table);
    for (std::size_t before : {0, 5, 1024, 2048}) {
        CharSource small(1024);
        ASSERT_TRUE(small.open(path.c_str()));
        std::string delivered;
        while (delivered.size() < before) {
            delivered += small.next();
        }
        files::injectFaults({EIO, 0, 0});
        delivered += drain(small);
        const std::size_t broughtIn = (before + 1023) / 1024 * 1024;
        EXPECT_EQ(delivered, table.substr(0, broughtIn)) << before << " characters before the failure";
        EXPECT_EQ(small.readErrno(), EIO);
        files::injectFaults({EINVAL, 0, 0});
        EXPECT_EQ(small.next(), kEndMarker);
        EXPECT_EQ(small.readErrno(), EIO) << "read again after a failure";
        files::injectFaults({0, 0, EIO});
        errno = 0;
        EXPECT_FALSE(small.close());
        EXPECT_EQ(errno, EIO);
        files::injectFaults({});
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace morvale
