// Adverse conditions a user can meet, reproduced on real files: a full disk, an
// unreadable input, enormous lines, an interruption, a kill. Each run
// is checked whole: console, exit status, every file left on disk, and inputs
// byte for byte unchanged.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>

#include "end_to_end_support.h"

namespace morvale {
namespace {

using namespace test;

constexpr std::size_t kMegabyte = 1000 * 1000;

// How far the tool's peak memory may move with the size of its input. The
// sanitizers' own bookkeeping varies by a little more from run to run; the
// plain build holds the tool to the tight bound.
#ifdef MORVALE_SANITIZED
constexpr long kPeakToleranceKiB = 1024;
#else
constexpr long kPeakToleranceKiB = 256;
#endif

// A file's bytes, summarised so that files of hundreds of megabytes can be
// compared without holding them: its size and a hash of each block.
std::string fingerprintOf(std::istream& in) {
    std::size_t hash = 0;
    std::uint64_t size = 0;
    std::string block(1 << 16, '\0');
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        const std::string_view part(block.data(), static_cast<std::size_t>(in.gcount()));
        hash = hash * 1099511628211ull ^ std::hash<std::string_view>()(part);
        size += part.size();
    }
    return std::to_string(size) + " bytes, hash " + std::to_string(hash);
}

std::string fingerprint(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return fingerprintOf(in);
}

std::string fingerprintOf(const std::string& bytes) {
    std::istringstream in(bytes);
    return fingerprintOf(in);
}

// What a folder holds: every entry below it, by kind, files by fingerprint.
using Folder = std::map<std::string, std::string>;

// The folder's expected contents after a run: `before` with some entries
// replaced (by the bytes they must hold) or removed (nullopt).
Folder changed(Folder before, const std::map<std::string, std::optional<std::string>>& changes) {
    for (const auto& [name, bytes] : changes) {
        if (bytes) {
            before[name] = fingerprintOf(*bytes);
        } else {
            before.erase(name);
        }
    }
    return before;
}

class AdverseConditions : public EndToEnd {
protected:
    Folder folder() const { return describeFolder(fingerprint); }

    // Removes the core dumps a run left in the work folder, where a system
    // may put them.
    void removeCoreDumps() const {
        for (const auto& entry : fs::directory_iterator(work_)) {
            if (entry.path().filename().string().rfind("core", 0) == 0) {
                fs::remove(entry.path());
            }
        }
    }

    // Writes head, then `count` copies of `fill`, then tail, in blocks.
    void putHuge(const std::string& name, const std::string& head, char fill, std::size_t count,
                 const std::string& tail) const {
        std::ofstream out(file(name), std::ios::binary);
        out << head;
        const std::string block(1 << 20, fill);
        for (std::size_t left = count; left > 0;) {
            const std::size_t part = std::min(left, block.size());
            out.write(block.data(), static_cast<std::streamsize>(part));
            left -= part;
        }
        out << tail;
    }

    // Writes a table of kRowsHeader and `size` bytes of kRow rows; returns
    // the number of rows.
    std::size_t putRows(const std::string& name, std::size_t size) const {
        std::ofstream out(file(name), std::ios::binary);
        out << kRowsHeader;
        std::string block;
        while (block.size() + kRow.size() <= (1 << 20)) {
            block += kRow;
        }
        std::size_t rows = 0;
        for (std::size_t written = 0; written < size; written += block.size()) {
            out << block;
            rows += block.size() / kRow.size();
        }
        return rows;
    }

    static inline const std::string kRowsHeader = "Time A B C\n---\n";
    static inline const std::string kRow = "0.000125 1.2500 -0.0031 2.5e-04\n";
};

#ifndef MORVALE_SANITIZED
// Whether this process may let a child dump core: a hard limit of zero, or a
// system that sends cores nowhere, makes no dump. (The sanitizers turn core
// dumps off.)
bool coreDumpsAllowed() {
    rlimit core;
    std::ifstream pattern("/proc/sys/kernel/core_pattern");
    std::string where;
    return getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_max != 0 && std::getline(pattern, where) && !where.empty();
}
#endif

// A folder of `bytes` bytes of its own: a small file system in a mount
// namespace of this test's process, seen by the tool it starts. Empty when the
// system does not allow it (no privilege).
fs::path smallDisk(const fs::path& where, std::size_t bytes) {
    fs::create_directory(where);
    const std::string options = "size=" + std::to_string(bytes);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("morvale-test", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        return fs::path();
    }
    return where;
}

// A vector file that cannot be written whole leaves the earlier one as it
// was, and nothing else.
TEST_F(AdverseConditions, AWriteFailureKeepsTheEarlierVectorFile) {
    const std::string earlier = "an earlier conversion\r\n";
    const struct {
        const char* what;
        bool fullDisk;  // else a file-size limit
        std::string reason;
    } cases[] = {
        {"a file-size limit", false, "File too large"},
        {"a full disk", true, "No space left on device"},  // last: it may be skipped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path disk;
        Launch launch;
        if (c.fullDisk) {
            disk = smallDisk(work_ / "disk", 2500 * 1000);
            if (disk.empty()) {
                GTEST_SKIP() << "no private file system can be mounted here: the full disk is not tried";
            }
        } else {
            launch.fileSizeLimit = 1 << 20;
        }
        const std::string prefix = c.fullDisk ? "disk/" : "";
        // Several times the write buffer, so that the writing fails in the
        // middle of the conversion, not only at its end.
        putRows(prefix + "full.txt", 600 * 1000);
        put(prefix + "full.vec", earlier);
        put(prefix + "next.txt", kOneLineTable);
        const Folder before = folder();

        expectRun(run({prefix + "full.txt", prefix + "next.txt"}, launch), 1,
                  "Problemas al cerrar el fichero\nFile " + prefix + "next.vec converted\n" + summary(1),
                  "morvale: " + prefix + "full.txt: cannot write " + prefix + "full.vec: " + c.reason +
                      "; file not converted\n");
        EXPECT_EQ(folder(), changed(before, {{prefix + "next.vec", kOneLineVec}}));
        if (c.fullDisk) {
            umount2(disk.c_str(), MNT_DETACH);
        }
        resetWork();
    }
}

TEST_F(AdverseConditions, AnInputThatCannotBeReadIsNotConvertedAndTheRunGoesOn) {
    // A process's own memory file opens, but reading its first page fails:
    // a read error, which must neither loop nor pass for the end of a table.
    put("next.txt", kOneLineTable);
    const Folder before = folder();
    expectRun(run({"/proc/self/mem", "next.txt"}), 1, "File next.vec converted\n" + summary(1),
              "morvale: /proc/self/mem: read error: Input/output error; file not converted\n");
    EXPECT_EQ(folder(), changed(before, {{"next.vec", kOneLineVec}}));
    EXPECT_FALSE(fs::exists("/proc/self/mem.vec"));
}

// A line of 100 MB is either refused as soon as a value or name that would be
// written out grows too long, or read through without being held, so the
// tool's memory stays what a small table needs.
TEST_F(AdverseConditions, AHundredMegabyteLineIsRefusedOrConvertedInConstantMemory) {
    constexpr std::size_t kHuge = 100 * kMegabyte;
    // Large enough to fill every buffer the tool has, so that only growth
    // beyond them counts.
    putRows("ordinary.txt", 2 * kMegabyte);
    const Result ordinary = runMeasured({"ordinary.txt"});
    ASSERT_EQ(ordinary.status, 0);
    fs::remove(file("ordinary.txt"));
    fs::remove(file("ordinary.vec"));

    const std::string oneVectorHeader = crlfLines({"vector\t0\t\"T\"\t\"A\"", ""});
    const std::string extraValue =
        "morvale: huge.txt: line 3: warning: a row holds more values than the header has data columns: the extra "
        "ones were dropped; name every data column on the header, or delete the extra values";
    const struct {
        const char* what;
        std::string head;
        char fill;
        std::string tail;
        std::string err;
        std::string vec;  // empty: not converted
    } cases[] = {
        {"a value that is written out", "T A\n--\n0 1\n1 ", '7', "\n2 3\n",
         "morvale: huge.txt: line 4: value longer than 255 characters; file not converted\n", ""},
        {"a name that is written out", "T ", 'N', "\n--\n0 1\n",
         "morvale: huge.txt: line 1: name longer than 255 characters; file not converted\n", ""},
        {"a value beyond the last vector", "T A\n--\n0 1 ", '7', "\n2 3\n", extraValue + "\n",
         oneVectorHeader + crlfLines({"0\t0\t1", "0\t2\t3"})},
        {"a value beyond the last vector, with no line end", "T A\n--\n0 1 ", '7', "", extraValue + "\n",
         oneVectorHeader + crlfLines({"0\t0\t1"})},
        {"a sub-name beyond the last group", "T G\nS ", 's', "\nm x\n==\n0 1 2\n",
         "morvale: huge.txt: line 2: warning: header lines 2 and 3 do not hold one sub-name and two pair names per "
         "group: missing names were left empty, extra ones dropped; give each group of line 1 one sub-name on line 2 "
         "and two pair names on line 3\n",
         crlfLines({"vector\t0\t\"T\"\t\"G.S.m\"", "", "", "vector\t1\t\"T\"\t\"G.S.x\"", "0\t0\t1", "1\t0\t2"})},
        // A row's first character is its abscissa, even a blank.
        {"a row of blanks", "T A\n--\n0 1\n", ' ', "\n2 3\n",
         "morvale: huge.txt: line 4: warning: an empty line (or one of blanks only) was read as a row of empty "
         "values; delete empty lines among and after the rows\n",
         oneVectorHeader + crlfLines({"0\t0\t1", "0\t \t", "0\t2\t3"})},
        {"blanks between header names", "T", ' ', "A\n--\n0 1\n", "", oneVectorHeader + crlfLines({"0\t0\t1"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(file("huge.vec"));
        putHuge("huge.txt", c.head, c.fill, kHuge, c.tail);
        const Folder before = folder();
        const Result result = runMeasured({"huge.txt"});
        if (!c.vec.empty()) {
            expectRun(result, 0, "File huge.vec converted\n" + summary(1), c.err);
            EXPECT_EQ(folder(), changed(before, {{"huge.vec", c.vec}}));
        } else {
            expectRun(result, 1, summary(0), c.err);
            EXPECT_EQ(folder(), before);
        }
        ASSERT_GT(result.peakKiB, 0);
        EXPECT_LT(result.peakKiB - ordinary.peakKiB, kPeakToleranceKiB)
            << "peak " << result.peakKiB << " KiB against " << ordinary.peakKiB << " KiB for an ordinary table";
        fs::remove(file("huge.txt"));
    }
}

// Opens the writing end of a FIFO once the tool has opened its reading end.
int openFifoForWriting(const fs::path& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return -1;
}

bool writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// A table fed through a FIFO that the test holds open, so that the conversion
// is surely in its middle when the test acts: megabytes of rows read and of
// vector file written, more to come.
class FedConversion {
public:
    explicit FedConversion(const fs::path& fifo) : fifo_(fifo) {
        while (rows_.size() < kMegabyte) {
            rows_ += "0.000125 1.2500 -0.0031\n";
        }
        // Writing to a tool that died early must fail the test, not end it.
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous_);
    }
    ~FedConversion() {
        endInput();
        sigaction(SIGPIPE, &previous_, nullptr);
    }

    // Once the tool has opened the FIFO: the header, then `megabytes` of rows.
    bool feed(int megabytes) {
        if (fd_ < 0) {
            fd_ = openFifoForWriting(fifo_);
            if (fd_ < 0 || !writeAll(fd_, "Time A B\n-----\n")) {
                return false;
            }
        }
        for (int block = 0; block < megabytes; ++block) {
            if (!writeAll(fd_, rows_)) {
                return false;
            }
        }
        fed_ += megabytes;
        return true;
    }
    void endInput() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // The vector file of everything fed.
    std::string expectedOutput() const {
        std::string table = "Time A B\n-----\n";
        for (int block = 0; block < fed_; ++block) {
            table += rows_;
        }
        return convertText(table).output;
    }

private:
    fs::path fifo_;
    std::string rows_;
    int fd_ = -1;
    int fed_ = 0;
    struct sigaction previous_ = {};
};

// The one file a run in the middle of writing `target` has made for it.
std::uintmax_t sizeOfIncomplete(const std::vector<std::string>& names, const fs::path& folder) {
    return names.size() == 1 ? fs::file_size(folder / names[0]) : 0;
}

// Every signal whose default is to end the process, a crash's among them,
// removes the new file, then ends the process as it would have: the same
// status, and a core dump where the signal makes one.
TEST_F(AdverseConditions, AnInterruptionRemovesWhatWasWrittenAndKeepsTheEarlierFile) {
    const std::string earlier = "an earlier conversion\r\n";
    const struct {
        int signal;
        bool core;
    } cases[] = {
        {SIGINT, false},   {SIGTERM, false},  {SIGHUP, false},  {SIGQUIT, true},   {SIGUSR1, false},
        {SIGUSR2, false},  {SIGALRM, false},  {SIGVTALRM, false}, {SIGPROF, false}, {SIGXCPU, true},
        {SIGPWR, false},   {SIGSTKFLT, false}, {SIGIO, false},  {SIGRTMIN, false}, {SIGRTMAX, false},
        {SIGTRAP, true},   {SIGSYS, true},    {SIGSEGV, true},  {SIGBUS, true},    {SIGILL, true},
        {SIGFPE, true},    {SIGABRT, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        resetWork();
        put("a.txt", kOneLineTable);
        put("pipe.vec", earlier);
        ASSERT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
        const Folder before = folder();

        FedConversion feeder(file("pipe.txt"));
        Launch launch;
        launch.coreDumps = true;
        const pid_t pid = start({"a.txt", "pipe.txt"}, launch);
        EXPECT_TRUE(feeder.feed(8));
        EXPECT_TRUE(waitForOutput("File a.vec converted\n"));
        EXPECT_GT(sizeOfIncomplete(incompleteFiles(), work_), kMegabyte);
        kill(pid, c.signal);
        const Result result = finish(pid);
        removeCoreDumps();

        EXPECT_EQ(result.out, "File a.vec converted\n");
        EXPECT_EQ(folder(), changed(before, {{"a.vec", kOneLineVec}}));
#ifdef MORVALE_SANITIZED
        // The sanitizers report some signals themselves and end the process
        // their own way; the files are what matters here.
        EXPECT_NE(result.status, 0);
#else
        EXPECT_EQ(result.status, 128 + c.signal);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.coreDumped, c.core && coreDumpsAllowed());
#endif
    }
}

// Nothing can clean up after SIGKILL (or a power cut): the vector file's
// name still holds the earlier file, and the one file left over says by its
// name what it is.
TEST_F(AdverseConditions, AKillLeavesTheEarlierFileAndOneIncompleteFile) {
    const std::string earlier = "an earlier conversion\r\n";
    for (int megabytes : {0, 1, 8, 40}) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB fed");
        resetWork();
        put("pipe.vec", earlier);
        ASSERT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
        const Folder before = folder();

        FedConversion feeder(file("pipe.txt"));
        const pid_t pid = start({"pipe.txt"});
        EXPECT_TRUE(feeder.feed(megabytes));
        kill(pid, SIGKILL);
        EXPECT_EQ(finish(pid).status, 128 + SIGKILL);

        const std::vector<std::string> left = incompleteFiles();
        ASSERT_LE(left.size(), 1u);
        Folder expected = before;
        if (!left.empty()) {
            EXPECT_EQ(left[0].rfind("pipe.vec.incomplete-", 0), 0u) << left[0];
            expected[left[0]] = fingerprint(file(left[0]));
        }
        EXPECT_EQ(folder(), expected);
    }
}

// A person watching a long conversion on a terminal sees how far it is, in
// one row of 79 columns whatever the table's name, and the line is gone
// before the file's report, or once the run is interrupted; a script sees
// nothing of it.
TEST_F(AdverseConditions, ALongConversionShowsItsProgressOnATerminalOnly) {
    const std::string latin1(60, '\xB0');  // degree signs in Latin-1, no character's start among them
    const struct {
        const char* what;
        bool terminal;
        std::string table;
        bool interrupted;
    } cases[] = {
        {"on a terminal", true, "pipe.txt", false},
        {"to a file", false, "pipe.txt", false},
        {"on a terminal, a long name not in UTF-8", true, latin1, false},
        {"on a terminal, interrupted", true, "pipe.txt", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        ASSERT_EQ(mkfifo(file(c.table).c_str(), 0600), 0);
        FedConversion feeder(file(c.table));
        Launch launch;
        launch.terminalError = c.terminal;
        const pid_t pid = start({c.table}, launch);
        EXPECT_TRUE(feeder.feed(4));
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        EXPECT_TRUE(feeder.feed(8));
        if (c.interrupted) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(pid, SIGINT);
        }
        feeder.endInput();
        const Result result = finish(pid);
        EXPECT_EQ(result.status, c.interrupted ? 128 + SIGINT : 0);
        if (!c.terminal) {
            EXPECT_EQ(result.out, "File pipe.vec converted\n" + summary(1));
            EXPECT_EQ(result.err, "");
            continue;
        }
        // Shown once at least, then erased: blanks over it, the cursor back.
        const std::size_t last = result.err.rfind("\rmorvale: ");
        ASSERT_NE(last, std::string::npos) << visible(result.err);
        EXPECT_NE(result.err.find(" MB/s", last), std::string::npos) << visible(result.err);
        const std::size_t erased = result.err.find_first_of('\r', last + 1);
        ASSERT_NE(erased, std::string::npos) << visible(result.err);
        EXPECT_EQ(result.err.substr(erased), "\r" + std::string(result.err.size() - erased - 2, ' ') + "\r")
            << visible(result.err);
        for (std::size_t at = 0; at < result.err.size();) {
            const std::size_t end = std::min(result.err.find('\r', at + 1), result.err.size());
            EXPECT_LE(end - at - 1, 79u) << visible(result.err.substr(at, end - at));
            at = end;
        }
    }
}

// A batch's vector files take their names while later tables are converted,
// but every table is still reported in its place: standard output and
// standard error, together, read as they would if each file were named
// before the next table was read.
TEST_F(AdverseConditions, ABatchIsReportedInTheOrderOfItsTables) {
    std::string expected;
    std::vector<std::string> args;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "t" + std::to_string(i);
        args.push_back(name + ".txt");
        if (i % 20 == 7) {
            put(name + ".txt", "T A\n--\n0 " + std::string(256, '7') + "\n");
            expected += "morvale: " + name + ".txt: line 3: value longer than 255 characters; file not converted\n";
        } else if (i % 20 == 13) {
            put(name + ".txt", "T A B\n--\n0 1\n");
            expected += "morvale: " + name + ".txt: line 3: warning: a row holds fewer values than the header has "
                        "data columns: the missing ones were written as empty samples; give every row one value per "
                        "data column\n";
            expected += "File " + name + ".vec converted\n";
        } else {
            put(name + ".txt", kOneLineTable);
            expected += "File " + name + ".vec converted\n";
        }
    }
    Launch launch;
    launch.errorInOutput = true;
    const Result result = run(args, launch);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, expected + summary(57));
    EXPECT_TRUE(incompleteFiles().empty());
}

// Stopped in the middle of a batch, each vector file holds what it held
// before or its complete new bytes, whatever became of the tables around it;
// every one reported converted holds the new ones. A signal that can be
// caught leaves no new file behind; a kill may leave some, which say by
// their names what they are.
TEST_F(AdverseConditions, ABatchStoppedAnywhereLeavesWholeFiles) {
    const std::string earlier = "an earlier conversion\r\n";
    for (int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        resetWork();
        std::vector<std::string> args;
        for (int i = 0; i < 40; ++i) {
            put("t" + std::to_string(i) + ".txt", kOneLineTable);
            put("t" + std::to_string(i) + ".vec", earlier);
            args.push_back("t" + std::to_string(i) + ".txt");
        }
        ASSERT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
        args.push_back("pipe.txt");
        FedConversion feeder(file("pipe.txt"));
        const pid_t pid = start(args);
        EXPECT_TRUE(feeder.feed(1));  // every table before the pipe has been read
        kill(pid, signal);
        const Result result = finish(pid);
        EXPECT_EQ(result.status, 128 + signal);
        for (int i = 0; i < 40; ++i) {
            const std::string vec = "t" + std::to_string(i) + ".vec";
            const std::string bytes = get(vec);
            EXPECT_TRUE(bytes == earlier || bytes == kOneLineVec) << vec << ": " << visible(bytes);
            if (result.out.find("File " + vec + " converted\n") != std::string::npos) {
                EXPECT_EQ(bytes, kOneLineVec) << vec << " was reported converted";
            }
        }
        for (const std::string& left : incompleteFiles()) {
            EXPECT_EQ(signal, SIGKILL) << left;
            EXPECT_NE(left.find(".vec.incomplete-"), std::string::npos) << left;
        }
    }
}

TEST_F(AdverseConditions, SignalsIgnoredAtTheStartStayIgnored) {
    ASSERT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
    FedConversion feeder(file("pipe.txt"));
    Launch launch;
    launch.ignoreHangUp = true;
    const pid_t pid = start({"pipe.txt"}, launch);
    EXPECT_TRUE(feeder.feed(4));
    kill(pid, SIGHUP);
    EXPECT_TRUE(feeder.feed(4));
    feeder.endInput();
    expectRun(finish(pid), 0, "File pipe.vec converted\n" + summary(1), "");
    EXPECT_EQ(fingerprint(file("pipe.vec")), fingerprintOf(feeder.expectedOutput()));
    EXPECT_TRUE(incompleteFiles().empty());
}

// Two runs on one table at once: the vector file is one run's complete output.
TEST_F(AdverseConditions, ConcurrentRunsLeaveOneCompleteVectorFile) {
    putRows("table.txt", 20 * kMegabyte);
    put("table.vec", "an earlier conversion\r\n");
    const pid_t first = start({"table.txt"});
    const pid_t second = start({"table.txt"});
    const Result one = finish(first);
    const Result other = finish(second);
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(other.status, 0);
    std::ifstream in(file("table.txt"), std::ios::binary);
    const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(fingerprint(file("table.vec")), fingerprintOf(convertText(table).output));
    EXPECT_TRUE(incompleteFiles().empty());
}

// What stands at the vector file's name is replaced, never written through;
// a replaced file keeps its permission bits.
TEST_F(AdverseConditions, WhatStandsAtTheVectorFileIsReplacedNotWrittenThrough) {
    const std::string other = "another file of the user's\r\n";
    const struct {
        const char* what;
        std::function<void()> make;
        unsigned mode;  // the vector file's permission bits afterwards
        std::map<std::string, std::optional<std::string>> changes;
        int user = -1;  // run as this user, or as the test runs
    } cases[] = {
        {"nothing", [] {}, 0644, {}},
        {"a file of its own permissions", [&] { put("a.vec", other); fs::permissions(file("a.vec"), fs::perms(0640)); },
         0640, {}},
        {"a symbolic link", [&] { put("other.vec", other); fs::create_symlink("other.vec", file("a.vec")); }, 0644, {}},
        {"a dangling link", [&] { fs::create_symlink("elsewhere/x.vec", file("a.vec")); }, 0644, {}},
        {"a hard link", [&] { put("other.vec", other); fs::create_hard_link(file("other.vec"), file("a.vec")); },
         0644, {}},
        // A drop box: the folder cannot be opened to be synced.
        {"nothing, in a folder that may be written but not read",
         [&] { fs::permissions(work_, fs::perms(01733)); }, 0644, {}, 65534},  // nobody
    };
    const mode_t oldMask = umask(022);
    for (const auto& c : cases) {
        if (c.user >= 0 && geteuid() != 0) {
            continue;  // needs root, to run as another user
        }
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        c.make();
        Folder expected = folder();
        expected.erase("a.vec");
        Launch launch;
        launch.user = c.user;
        expectRun(run({"a.txt"}, launch), 0, "File a.vec converted\n" + summary(1), "");
        expected["a.vec"] = fingerprintOf(kOneLineVec);
        EXPECT_EQ(folder(), expected);
        struct stat info;
        ASSERT_EQ(lstat(file("a.vec").c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, c.mode);
    }
    umask(oldMask);
}

// The console report is part of the result: a report that could not be
// written makes the run a failure, and the files it converted stay. A
// standard error that is closed loses its lines, and nothing else.
TEST_F(AdverseConditions, AConsoleThatCannotBeWrittenFailsTheRun) {
    const struct {
        const char* what;
        Launch launch;
        int status;
        std::string err;
    } cases[] = {
        {"a full disk", [] { Launch l; l.standardOutput = "/dev/full"; return l; }(), 1,
         "morvale: standard output: No space left on device\n"},
        {"a closed pipe", [] { Launch l; l.closedOutput = true; return l; }(), 1,
         "morvale: standard output: Broken pipe\n"},
        {"standard output closed", [] { Launch l; l.noOutput = true; return l; }(), 1,
         "morvale: standard output: Bad file descriptor\n"},
        {"standard error closed", [] { Launch l; l.noError = true; return l; }(), 0, ""},
        {"both closed", [] { Launch l; l.noOutput = l.noError = true; return l; }(), 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        const Result result = run({"a.txt"}, c.launch);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
        if (!c.launch.noOutput && c.launch.standardOutput.empty() && !c.launch.closedOutput) {
            EXPECT_EQ(result.out, "File a.vec converted\n" + summary(1));
        }
        // No file the tool opened took a closed stream's place.
        EXPECT_EQ(folder(), changed(Folder(), {{"a.txt", kOneLineTable}, {"a.vec", kOneLineVec}}));
    }
}

// How far the process `pid` has read the file `path` it holds open, or -1.
long long readPosition(pid_t pid, const fs::path& path) {
    const fs::path descriptors = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(descriptors, error)) {
        if (fs::read_symlink(entry.path(), error) != path) {
            continue;
        }
        std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + entry.path().filename().string());
        std::string field;
        long long position = -1;
        while (info >> field) {
            if (field == "pos:" && info >> position) {
                return position;
            }
        }
    }
    return -1;
}

// A table that another program changes while it is read is never converted
// in part: one cut short is a read error and keeps the earlier vector file;
// one that grew is converted as it was when opened, with a warning that says
// how much was left out. The tool is stopped midway while the table changes.
TEST_F(AdverseConditions, ATableChangedWhileItIsReadIsNeverConvertedInPart) {
    const std::string earlier = "an earlier conversion\r\n";
    const std::string added(1000, '\n');
    const struct {
        const char* what;
        bool cut;  // else grown by `added`
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {"cut short", true, 1, summary(0),
         "morvale: table.txt: read error: the file got shorter while it was read; file not converted\n"},
        {"grown", false, 0, "File table.vec converted\n" + summary(1),
         "morvale: table.txt: warning: the file grew by 1000 bytes while it was read; only what it held when it was "
         "opened was converted (still being written? convert it again once it is complete)\n"},
    };
    putRows("copy.txt", 50 * kMegabyte);
    ASSERT_EQ(run({"copy.txt"}).status, 0);
    const std::string whole = fingerprint(file("copy.vec"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool changedMidway = false;
        for (int attempt = 0; attempt < 5 && !changedMidway; ++attempt) {
            fs::copy_file(file("copy.txt"), file("table.txt"), fs::copy_options::overwrite_existing);
            put("table.vec", earlier);
            const auto size = static_cast<long long>(fs::file_size(file("table.txt")));
            const pid_t pid = start({"table.txt"});
            long long position = -1;
            while (position < 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
                position = readPosition(pid, file("table.txt"));
            }
            kill(pid, SIGSTOP);
            position = readPosition(pid, file("table.txt"));
            changedMidway = position > 0 && position < size;
            if (changedMidway && c.cut) {
                ASSERT_EQ(truncate(file("table.txt").c_str(), position / 2), 0);
            } else if (changedMidway) {
                std::ofstream(file("table.txt"), std::ios::binary | std::ios::app) << added;
            }
            kill(pid, SIGCONT);
            const Result result = finish(pid);
            if (changedMidway) {
                expectRun(result, c.status, c.out, c.err);
                EXPECT_EQ(fingerprint(file("table.vec")), c.cut ? fingerprintOf(earlier) : whole);
                EXPECT_TRUE(incompleteFiles().empty());
            }
        }
        if (!changedMidway) {
            GTEST_SKIP() << "the tool read the whole table before it could be stopped, five times";
        }
    }
}

// The tables before a long one are not kept waiting behind it: stopped
// while it is read, the run has named and reported them already.
TEST_F(AdverseConditions, TablesBeforeALongOneAreConvertedWhileItIsRead) {
    put("a.txt", kOneLineTable);
    put("b.txt", kThreeLineTable);
    putRows("long.txt", 40 * kMegabyte);
    bool stoppedMidway = false;
    for (int attempt = 0; attempt < 5 && !stoppedMidway; ++attempt) {
        fs::remove(file("a.vec"));
        fs::remove(file("b.vec"));
        const pid_t pid = start({"a.txt", "b.txt", "long.txt"});
        long long position = -1;
        while (position < 8 * static_cast<long long>(kMegabyte) && waitpid(pid, nullptr, WNOHANG) == 0) {
            position = readPosition(pid, file("long.txt"));
        }
        kill(pid, SIGSTOP);
        position = readPosition(pid, file("long.txt"));
        stoppedMidway = position > 0 && position < static_cast<long long>(fs::file_size(file("long.txt")));
        if (stoppedMidway) {
            EXPECT_EQ(readFile(root_ / "stdout"), "File a.vec converted\nFile b.vec converted\n");
            EXPECT_EQ(get("a.vec"), kOneLineVec);
            EXPECT_EQ(get("b.vec"), kThreeLineVec);
        }
        kill(pid, SIGCONT);
        EXPECT_EQ(finish(pid).status, 0);
    }
    if (!stoppedMidway) {
        GTEST_SKIP() << "the tool read the whole table before it could be stopped, five times";
    }
}

// The tool's peak memory does not depend on the size of the table. The 1 GB
// table takes tens of seconds and gigabytes of disk, so it runs only when
// MORVALE_LARGE_TESTS is set.
TEST_F(AdverseConditions, PeakMemoryDoesNotGrowWithTheTable) {
    std::vector<std::size_t> sizes = {10 * kMegabyte, 100 * kMegabyte};
    const char* large = std::getenv("MORVALE_LARGE_TESTS");
    if (large != nullptr && *large != '\0' && std::string(large) != "0") {
        sizes.push_back(1000 * kMegabyte);
    }
    // The vector file's size follows from the row count: declarations, then
    // the same sample lines for every row.
    const std::size_t declarations = convertText(kRowsHeader).output.size();
    const std::size_t perRow = convertText(kRowsHeader + kRow).output.size() - declarations;

    long first = 0;
    for (std::size_t size : sizes) {
        const std::size_t rows = putRows("table.txt", size);
        const Result result = runMeasured({"table.txt"});
        expectRun(result, 0, "File table.vec converted\n" + summary(1), "");
        EXPECT_EQ(fs::file_size(file("table.vec")), declarations + rows * perRow);
        ASSERT_GT(result.peakKiB, 0);
        std::printf("peak resident memory for a %zu MB table: %ld KiB\n", size / kMegabyte, result.peakKiB);
        if (first == 0) {
            first = result.peakKiB;
        }
        EXPECT_LT(std::labs(result.peakKiB - first), kPeakToleranceKiB) << size / kMegabyte << " MB";
        fs::remove(file("table.txt"));
        fs::remove(file("table.vec"));
    }
}

}  // namespace
}  // namespace morvale
