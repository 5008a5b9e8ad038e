// Whole runs with the file system's faults injected: the run itself, as the
// executable runs it, in a child process of this test, where the seam of
// the file system reaches. What a fault must never do is let a vector file
// take the place of a table, or leave a file behind unnamed.
#include "driver/driver.h"
#include "end_to_end_support.h"

namespace morvale {
namespace {

using namespace test;

// The name of every new file in a text, with the six characters that make
// it differ from run to run replaced.
std::string withoutSuffixes(std::string text) {
    const std::string infix = files::kIncompleteInfix;
    for (std::size_t at = text.find(infix); at != std::string::npos; at = text.find(infix, at + 1)) {
        text.replace(at + infix.size(), 6, "XXXXXX");
    }
    return text;
}

class RunFaults : public EndToEnd {
protected:
    // Starts run() in a child process, in the work folder, with `faults`
    // injected and standard input on nothing; finish() waits for it.
    pid_t startWithFaults(const std::vector<std::string>& args, const files::Faults& faults) const {
        std::vector<std::string> words = {"morvale"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open((root_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open((root_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(work_.c_str()) != 0) {
                _exit(126);
            }
            files::injectFaults(faults);
            const int status = morvale::run(static_cast<int>(words.size()), argv.data());
            std::fflush(nullptr);
            _exit(status);
        }
        return pid;
    }

    // Starts a run of the tables s0.txt to s3.txt, then pipe.txt, a pipe
    // whose header is written and whose rows never come, on a disk whose
    // syncs take 300 ms; `feed` is the pipe's open end.
    pid_t startBeforeASlowInput(std::vector<std::string> options, files::Faults faults, int& feed) {
        for (const char* stem : kBatch) {
            put(std::string(stem) + ".txt", kOneLineTable);
            options.push_back(std::string(stem) + ".txt");
        }
        options.emplace_back("pipe.txt");
        EXPECT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
        faults.syncMilliseconds = 300;
        const pid_t pid = startWithFaults(options, faults);
        feed = ::open(file("pipe.txt").c_str(), O_WRONLY);
        const std::string header = "T A\n--\n";
        EXPECT_EQ(::write(feed, header.data(), header.size()), static_cast<ssize_t>(header.size()));
        return pid;
    }

    static constexpr const char* kBatch[] = {"s0", "s1", "s2", "s3"};
};

// An identity that cannot be read never lets a vector file replace a table
// of the run: the table concerned is refused, the run goes on. Each case
// fails one lookup, counted in the order the run makes them: one for each
// argument when the run begins, then for each table its open file, its
// vector file's name, and the new vector file before it takes the name.
TEST_F(RunFaults, AnIdentityThatCannotBeReadRefusesTheTable) {
    const std::string userTable = "X Y\n--\n7 8\n";
    const std::string userTableVec = crlfLines({"vector\t0\t\"X\"\t\"Y\"", "", "0\t7\t8"});
    const std::string refusedA = "morvale: a.txt: its vector file a.vec is ./a.vec, a table of this run; file not converted\n";
    const struct {
        const char* what;
        int before;  // lookups that succeed before the one that fails; -1: none fails
        std::vector<std::string> args;
        std::string out;
        std::string err;
        std::map<std::string, std::string> written;
    } cases[] = {
        {"no fault", -1, {"a.txt", "./a.vec"}, "File ./a.vec.vec converted\n" + summary(1), refusedA,
         {{"a.vec.vec", userTableVec}}},
        {"a table of the run, when the run begins", 1, {"a.txt", "./a.vec"},
         "File ./a.vec.vec converted\n" + summary(1), refusedA, {{"a.vec.vec", userTableVec}}},
        {"the open table", 2, {"a.txt", "./a.vec"}, "File ./a.vec.vec converted\n" + summary(1),
         "morvale: a.txt: its identity cannot be read (Input/output error), so it cannot be told apart from the "
         "files of this run; file not converted\n",
         {{"a.vec.vec", userTableVec}}},
        {"its vector file", 3, {"a.txt", "./a.vec"}, "File ./a.vec.vec converted\n" + summary(1),
         "morvale: a.txt: the identity of its vector file a.vec cannot be read (Input/output error), so it cannot "
         "be told apart from the files of this run; file not converted\n",
         {{"a.vec.vec", userTableVec}}},
        {"the new vector file", 3, {"b.txt"}, "Problemas al cerrar el fichero\n" + summary(0),
         "morvale: b.txt: cannot write b.vec: Input/output error; file not converted\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        put("a.vec", userTable);
        put("b.txt", kOneLineTable);
        put("b.vec", "an earlier conversion\r\n");
        std::map<std::string, std::string> expected = snapshot();
        for (const auto& [name, bytes] : c.written) {
            expected[name] = bytes;
        }
        files::Faults faults;
        faults.identity = c.before < 0 ? 0 : EIO;
        faults.identitiesBefore = c.before;
        expectRun(finish(startWithFaults(c.args, faults)), 1, c.out, c.err);
        EXPECT_EQ(snapshot(), expected);
    }
}

// A table whose new file cannot be removed names it; the file stays, the
// run goes on and ends with status 1.
TEST_F(RunFaults, ANewFileThatCannotBeRemovedIsNamed) {
    const std::string leftover = "morvale: long.vec.incomplete-XXXXXX: cannot remove this unfinished file: "
                                 "Read-only file system\n";
    const struct {
        const char* what;
        std::string table;
        files::Faults faults;
        std::string out;
        std::string err;
    } cases[] = {
        {"a refused table", "T A\n--\n0 " + std::string(256, '7') + "\n", {0, 0, 0, EROFS},
         "File a.vec converted\n" + summary(1),
         "morvale: long.txt: line 3: value longer than 255 characters; file not converted\n" + leftover},
        {"a write that failed", kOneLineTable, {0, ENOSPC, 0, EROFS},
         "Problemas al cerrar el fichero\nFile a.vec converted\n" + summary(1),
         "morvale: long.txt: cannot write long.vec: No space left on device; file not converted\n" + leftover},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("long.txt", c.table);
        put("long.vec", "an earlier conversion\r\n");
        put("a.txt", kOneLineTable);
        const Result result = finish(startWithFaults({"long.txt", "a.txt"}, c.faults));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(withoutSuffixes(result.err), c.err);
        const std::vector<std::string> left = incompleteFiles();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_NE(result.err.find(left[0]), std::string::npos) << "the file left is the one named";
        EXPECT_EQ(get("long.vec"), "an earlier conversion\r\n");
    }
}

// In a batch, vector files that cannot be synced are reported in their
// places, around a table refused between them, though synced together.
// A file whose own sync failed keeps the earlier file and leaves nothing
// behind; one whose folder could not be synced has its name, yet is not
// said to be converted, as a power cut might still take it away.
TEST_F(RunFaults, SyncsThatFailInABatchAreReportedInTheirPlaces) {
    const std::string earlier = "an earlier conversion\r\n";
    const std::string refusedB = "morvale: b.txt: line 3: value longer than 255 characters; file not converted\n";
    files::Faults fileSyncs;
    fileSyncs.sync = EIO;
    fileSyncs.syncs = 1000;  // every one
    files::Faults folderSyncs;
    folderSyncs.folderSync = EIO;
    const struct {
        const char* what;
        files::Faults faults;
        std::string err;
        std::map<std::string, std::string> written;
    } cases[] = {
        {"the files' syncs", fileSyncs,
         "morvale: a.txt: cannot write a.vec: Input/output error; file not converted\n" + refusedB +
             "morvale: c.txt: cannot write c.vec: Input/output error; file not converted\n",
         {}},
        {"their folder's sync", folderSyncs,
         "morvale: a.txt: cannot sync the folder of a.vec: Input/output error; file not converted\n" + refusedB +
             "morvale: c.txt: cannot sync the folder of c.vec: Input/output error; file not converted\n",
         {{"a.vec", kOneLineVec}, {"c.vec", kThreeLineVec}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        put("a.vec", earlier);
        put("b.txt", "T A\n--\n0 " + std::string(256, '7') + "\n");
        put("c.txt", kThreeLineTable);
        std::map<std::string, std::string> expected = snapshot();
        for (const auto& [name, bytes] : c.written) {
            expected[name] = bytes;
        }
        expectRun(finish(startWithFaults({"a.txt", "b.txt", "c.txt"}, c.faults)), 1,
                  "Problemas al cerrar el fichero\nProblemas al cerrar el fichero\n" + summary(0), c.err);
        EXPECT_EQ(snapshot(), expected);
    }
}

// A batch under a low limit of open files is converted whole: the files
// waiting for their names never take more descriptors than the limit leaves,
// those the run was started with besides.
TEST_F(RunFaults, ALowOpenFileLimitConvertsTheWholeBatch) {
    const struct {
        const char* what;
        rlim_t limit;
        rlim_t startedWith;  // descriptors open at the start, all but this many free (0: as the test has them)
        bool replacing;
    } cases[] = {
        {"a low limit", 10, 0, false},
        {"descriptors open at the start, vector files replaced", 40, 14, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        std::vector<std::string> args;
        std::string out;
        for (int table = 0; table < 40; ++table) {
            const std::string stem = "t" + std::to_string(table);
            put(stem + ".txt", kOneLineTable);
            if (c.replacing) {
                put(stem + ".vec", "an earlier conversion\r\n");
            }
            args.push_back(stem + ".txt");
            out += "File " + stem + ".vec converted\n";
        }
        std::vector<int> held;  // the test's own, which the run inherits
        while (c.startedWith > 0) {
            const int fd = ::open("/dev/null", O_RDONLY);
            if (fd < 0) {
                break;
            }
            held.push_back(fd);
            if (static_cast<rlim_t>(fd) + 1 >= c.limit - c.startedWith) {
                break;
            }
        }
        struct rlimit limit;
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
        const struct rlimit low = {c.limit, limit.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        const pid_t pid = startWithFaults(args, files::Faults());
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        for (const int fd : held) {
            ::close(fd);
        }
        expectRun(finish(pid), 0, out + summary(40), "");
        EXPECT_EQ(get("t39.vec"), kOneLineVec);
    }
}

// A table that finds no descriptor free while files wait in the group gets
// those the group gives back once its files have their names; with none
// waiting, the failure is the table's, and ends the run.
TEST_F(RunFaults, ATableOutOfDescriptorsTriesAgainOnceTheGroupIsCommitted) {
    const struct {
        const char* what;
        int createsBefore;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {"while a file waits", 1, 0, "File a.vec converted\nFile b.vec converted\n" + summary(2), ""},
        {"with none waiting", 0, 1, "No se puede abrir el fichero.\n",
         "morvale: a.vec: Too many open files\nmorvale: the run stops here: 1 more table not converted: b.txt\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        put("b.txt", kOneLineTable);
        files::Faults faults;
        faults.create = EMFILE;
        faults.createsBefore = c.createsBefore;
        expectRun(finish(startWithFaults({"a.txt", "b.txt"}, faults)), c.status, c.out, c.err);
        EXPECT_EQ(incompleteFiles(), std::vector<std::string>());
    }
}

// A table whose input is slow to come (a pipe whose writer is busy) keeps
// none of the tables before it waiting: on a slow disk, their files take
// their names and are reported as their syncs end, and an interruption then
// takes none of them away.
TEST_F(RunFaults, TablesBeforeASlowInputAreFinishedWhileItWaits) {
    for (const char* format : {"1", "2"}) {
        SCOPED_TRACE(std::string("--format ") + format);
        resetWork();
        std::string reports;
        for (const char* stem : kBatch) {
            reports += "File " + std::string(stem) + ".vec converted\n";
        }
        int feed = -1;
        const pid_t pid = startBeforeASlowInput({"--format", format}, files::Faults(), feed);
        EXPECT_TRUE(waitForOutput(reports));
        kill(pid, SIGTERM);
        const Result result = finish(pid);
        ::close(feed);

        EXPECT_EQ(result.out, reports);
        EXPECT_EQ(result.status, 128 + SIGTERM);
        EXPECT_EQ(incompleteFiles(), std::vector<std::string>());
        for (const char* stem : kBatch) {
            EXPECT_TRUE(fs::exists(file(std::string(stem) + ".vec"))) << stem;
        }
        if (std::string(format) == "1") {
            EXPECT_EQ(get("s3.vec"), kOneLineVec);
        }
    }
}

// An interruption that overtakes files of a batch while their group is
// committed removes each or leaves it whole under its name, whichever comes
// first, and says nothing of either.
TEST_F(RunFaults, AnInterruptionAmongEndingSyncsLeavesOnlyWholeFiles) {
    for (const int removeMilliseconds : {0, 150}) {
        SCOPED_TRACE("each removal taking " + std::to_string(removeMilliseconds) + " ms");
        resetWork();
        files::Faults faults;
        faults.removeMilliseconds = removeMilliseconds;
        int feed = -1;
        const pid_t pid = startBeforeASlowInput({}, faults, feed);
        for (int wait = 0; wait < 2000 && incompleteFiles().size() < 5; ++wait) {
            usleep(1000);
        }
        kill(pid, SIGTERM);
        const Result result = finish(pid);
        ::close(feed);

        EXPECT_EQ(result.status, 128 + SIGTERM);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(incompleteFiles(), std::vector<std::string>());
        for (const char* stem : kBatch) {
            const std::string name = std::string(stem) + ".vec";
            if (fs::exists(file(name))) {
                EXPECT_EQ(get(name), kOneLineVec) << name;
            }
        }
    }
}

// An interruption while the new file of a refused table is being removed
// waits until it is gone and no longer named to it: it finds nothing left
// to remove, and names no file that is gone.
TEST_F(RunFaults, AnInterruptionDuringARemovalNamesNoFile) {
    ASSERT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
    files::Faults faults;
    faults.removeMilliseconds = 500;
    const pid_t pid = startWithFaults({"pipe.txt"}, faults);
    const int feed = ::open(file("pipe.txt").c_str(), O_WRONLY);
    ASSERT_GE(feed, 0);
    const std::string head = "T A\n--\n1 2\n";
    ASSERT_EQ(::write(feed, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    for (int wait = 0; wait < 2000 && incompleteFiles().empty(); ++wait) {
        usleep(1000);
    }
    ASSERT_EQ(incompleteFiles().size(), 1u);
    const std::string refused = "3 " + std::string(256, '7') + "\n";
    ASSERT_EQ(::write(feed, refused.data(), refused.size()), static_cast<ssize_t>(refused.size()));
    ::close(feed);
    for (int wait = 0; wait < 2000 && !incompleteFiles().empty(); ++wait) {
        usleep(1000);
    }
    kill(pid, SIGTERM);
    const Result result = finish(pid);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(incompleteFiles(), std::vector<std::string>());
}

// An interruption that cannot remove the new file names it too.
TEST_F(RunFaults, AnInterruptionNamesTheFileItCouldNotRemove) {
    ASSERT_EQ(mkfifo(file("pipe.txt").c_str(), 0600), 0);
    files::Faults faults;
    faults.remove = EROFS;
    const pid_t pid = startWithFaults({"pipe.txt"}, faults);
    const int feed = ::open(file("pipe.txt").c_str(), O_WRONLY);
    ASSERT_GE(feed, 0);
    const std::string table = "T A\n--\n1 2\n";
    ASSERT_EQ(::write(feed, table.data(), table.size()), static_cast<ssize_t>(table.size()));
    for (int wait = 0; wait < 1000 && incompleteFiles().empty(); ++wait) {
        usleep(1000);
    }
    kill(pid, SIGTERM);
    const Result result = finish(pid);
    ::close(feed);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(withoutSuffixes(result.err), "morvale: pipe.vec.incomplete-XXXXXX: cannot remove this unfinished file\n");
    const std::vector<std::string> left = incompleteFiles();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(result.err.find(left[0]), std::string::npos);
}

// A table of the run that the user may not look at (in a folder they may
// not search) cannot be told apart from another table's vector file, which
// is then refused; the run ends at that table, which cannot be opened.
TEST_F(RunFaults, ATableThatCannotBeLookedAtIsNeverReplaced) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to run as another user";
    }
    fs::permissions(work_, fs::perms::all);
    fs::create_directory(file("locked"));
    fs::permissions(file("locked"), fs::perms::owner_all);
    put("locked/b.txt", kOneLineTable);
    put("a.txt", kOneLineTable);
    put("a.vec", "an earlier conversion\r\n");
    fs::permissions(file("a.vec"), fs::perms(0666));
    const std::map<std::string, std::string> before = snapshot();
    Launch launch;
    launch.user = 65534;
    expectRun(run({"a.txt", "locked/b.txt"}, launch), 1, "Error opening file.\n",
              "morvale: a.txt: the identity of locked/b.txt, a table of this run, cannot be read (Permission denied), "
              "so it cannot be told apart from its vector file a.vec; file not converted\n"
              "morvale: locked/b.txt: Permission denied\n");
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
}  // namespace morvale
