// The end-to-end fixture: runs the real executable in a private folder and
// captures its standard output, standard error, exit status and peak memory.
#ifndef MORVALE_TESTS_END_TO_END_SUPPORT_H
#define MORVALE_TESTS_END_TO_END_SUPPORT_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

// The program that measures the tool's peak memory (peak_memory_runner.cpp).
#ifndef MORVALE_PEAK_RUNNER
#define MORVALE_PEAK_RUNNER ""
#endif

namespace morvale::test {

namespace fs = std::filesystem;

inline const std::string kClosingBlock =
    "Tool made by:\n\n"
    "MORVALE maintainers            email: maintainers@morvale.example\n"
    "MORVALE support                email: support@morvale.example\n\n"
    "27/03/2003      MORVALE v1.0 \n\n"
    "Press anykey to continue \n\n";

inline const std::string kUsage =
    "Use: MORVALE file_name1 [file_name2 file_name3 ..]\n"
    "     or drag and drop all the desired files to the program icon in Windows\n\n";

inline std::string summary(int converted) {
    return "\t" + std::to_string(converted) + " File(s) converted succesfully\n\n" + kClosingBlock;
}

inline const std::string kOneLineTable = "Time A B\n-----\n0 1 2\n1 3 4\n";
inline const std::string kOneLineVec = crlfLines({"vector\t0\t\"Time\"\t\"A\"", "vector\t1\t\"Time\"\t\"B\"", "",
                                                  "0\t0\t1", "1\t0\t2", "0\t1\t3", "1\t1\t4"});
inline const std::string kThreeLineTable = "T G1\nS1\nm1 x1\n=====\n0 1 2\n";
inline const std::string kThreeLineVec =
    crlfLines({"vector\t0\t\"T\"\t\"G1.S1.m1\"", "", "", "vector\t1\t\"T\"\t\"G1.S1.x1\"", "0\t0\t1", "1\t0\t2"});

// The executable under test: MORVALE_EXE when set, else this build's.
inline std::string executable() {
    const char* exe = std::getenv("MORVALE_EXE");
    return exe != nullptr && *exe != '\0' ? exe : MORVALE_EXE;
}

// The executable under test where another user can start it. The build may
// lie in a private home folder that only its owner may enter: a copy then
// goes to a folder of its own that anyone may enter, removed at exit.
inline std::string executableForAnyone() {
    struct Copy {
        Copy() {
            std::string pattern = (fs::temp_directory_path() / "morvale-exe-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) {
                return;
            }
            folder = pattern;
            fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
            path = (folder / fs::path(executable()).filename()).string();
            std::error_code failed;
            fs::copy_file(executable(), path, failed);
        }
        ~Copy() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
        fs::path folder;
        std::string path;
    };
    static const Copy copy;
    return copy.path.empty() ? executable() : copy.path;
}

// True when the executable under test is a Windows build (run through a
// runner such as wine). Its console streams are in text mode, as every Windows
// console program's are, so each line it prints ends in CR LF; the files it
// writes are the same bytes as everywhere.
inline bool windowsBuild() {
    const std::string exe = executable();
    const std::string ending = exe.size() >= 4 ? exe.substr(exe.size() - 4) : std::string();
    return ending == ".exe" || ending == ".EXE";
}

// What the console shows for `text` written by the tool.
inline std::string console(const std::string& text) { return windowsBuild() ? withCrLf(text) : text; }

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// How a run is started, beyond its arguments.
struct Launch {
    bool measurePeak = false;       // under the peak memory runner
    long long fileSizeLimit = -1;   // bytes a file may grow to (ulimit -f), or no limit
    bool ignoreHangUp = false;      // started with SIGHUP ignored, as nohup does
    std::string standardOutput;     // a file for standard output instead of the captured one
    bool closedOutput = false;      // standard output a pipe that nobody reads
    bool terminalError = false;     // standard error a terminal (a pseudo-terminal the test reads)
    bool errorInOutput = false;     // standard error where standard output goes, as 2>&1 does
    bool noOutput = false;          // standard output closed, as `>&-` leaves it
    bool noError = false;           // standard error closed, as `2>&-` leaves it
    bool coreDumps = false;         // a signal that makes a core dump may make one (ulimit -c unlimited)
    int user = -1;                  // run as this user and the group of that number alone, or as the test runs
};

struct Result {
    int status = -1;  // the exit status, or 128 + the signal that ended the process
    bool coreDumped = false;
    std::string out;
    std::string err;
    long peakKiB = -1;  // the tool's peak resident memory, when measured
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "morvale-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        work_ = root_ / "work";
        fs::create_directory(work_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path file(const std::string& name) const { return work_ / name; }
    // Empties the work folder, for the next case of a table.
    void resetWork() const {
        fs::remove_all(work_);
        fs::create_directory(work_);
    }
    void put(const std::string& name, const std::string& bytes) const { writeFile(file(name), bytes); }
    std::string get(const std::string& name) const { return readFile(file(name)); }

    // Every entry below the work folder by kind, each file as `describe`
    // gives it.
    template <typename Describe>
    std::map<std::string, std::string> describeFolder(Describe describe) const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(work_)) {
            const std::string name = entry.path().lexically_relative(work_).string();
            if (entry.is_symlink()) {
                entries[name] = "-> " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_directory()) {
                entries[name] = "<dir>";
            } else if (entry.is_fifo()) {
                entries[name] = "<fifo>";
            } else {
                entries[name] = describe(entry.path());
            }
        }
        return entries;
    }

    // Every entry below the work folder, files with their bytes.
    std::map<std::string, std::string> snapshot() const { return describeFolder(readFile); }

    // Starts the tool in the work folder with no standard input; finish()
    // waits for it.
    pid_t start(const std::vector<std::string>& args, const Launch& launch = Launch()) const {
        const char* runner = std::getenv("MORVALE_EXE_RUNNER");
        std::vector<std::string> command;
        if (launch.measurePeak) {
            command.emplace_back(MORVALE_PEAK_RUNNER);
            command.push_back((root_ / "peak").string());
        }
        if (runner != nullptr && *runner != '\0') {
            command.emplace_back(runner);
        }
        command.emplace_back(launch.user >= 0 ? executableForAnyone() : executable());
        command.insert(command.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);

        const fs::path outPath = launch.standardOutput.empty() ? root_ / "stdout" : fs::path(launch.standardOutput);
        const fs::path errPath = root_ / "stderr";
        int closedPipe[2] = {-1, -1};
        if (launch.closedOutput && pipe(closedPipe) != 0) {
            return -1;
        }
        int terminal = -1;
        if (launch.terminalError && openpty(&terminal_, &terminal, nullptr, nullptr, nullptr) != 0) {
            return -1;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = launch.closedOutput ? closedPipe[1] : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = launch.terminalError    ? terminal
                            : launch.errorInOutput ? out
                                                   : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (launch.closedOutput) {
                ::close(closedPipe[0]);
            }
            if (launch.terminalError) {
                ::close(terminal_);
            }
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(work_.c_str()) != 0) {
                _exit(126);
            }
            // After chdir(): the folders above the work folder are the test's own.
            const auto id = static_cast<unsigned>(launch.user);
            if (launch.user >= 0 && (setgroups(0, nullptr) != 0 || setresgid(id, id, id) != 0 || setresuid(id, id, id) != 0)) {
                _exit(126);
            }
            if (launch.noOutput) {
                ::close(1);
            }
            if (launch.noError) {
                ::close(2);
            }
            if (launch.coreDumps) {
                rlimit core;
                getrlimit(RLIMIT_CORE, &core);
                core.rlim_cur = core.rlim_max;
                setrlimit(RLIMIT_CORE, &core);
            }
            std::signal(SIGPIPE, SIG_DFL);  // the test may ignore it; the tool must not inherit that
            std::signal(SIGHUP, launch.ignoreHangUp ? SIG_IGN : SIG_DFL);
            if (launch.fileSizeLimit >= 0) {
                const rlimit limit = {static_cast<rlim_t>(launch.fileSizeLimit), static_cast<rlim_t>(launch.fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            execvp(argv[0], argv.data());
            _exit(127);
        }
        if (launch.closedOutput) {
            ::close(closedPipe[0]);
            ::close(closedPipe[1]);
        }
        if (launch.terminalError) {
            ::close(terminal);
        }
        return pid;
    }

    Result finish(pid_t pid) const {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        Result result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.coreDumped = WIFSIGNALED(status) && WCOREDUMP(status);
        result.out = readFile(root_ / "stdout");
        result.err = readFile(root_ / "stderr");
        if (terminal_ >= 0) {
            // What the terminal received, its line ends as the terminal makes them.
            result.err.clear();
            char bytes[4096];
            for (ssize_t count; (count = ::read(terminal_, bytes, sizeof bytes)) > 0;) {
                result.err.append(bytes, static_cast<std::size_t>(count));
            }
            ::close(terminal_);
            terminal_ = -1;
        }
        std::ifstream peak(root_ / "peak");
        if (peak >> result.peakKiB) {
            peak.close();
            fs::remove(root_ / "peak");
        }
        return result;
    }

    Result run(const std::vector<std::string>& args, const Launch& launch = Launch()) const {
        return finish(start(args, launch));
    }
    Result runMeasured(const std::vector<std::string>& args) const {
        Launch launch;
        launch.measurePeak = true;
        return finish(start(args, launch));
    }

    // Runs the tool and checks the whole run: its console and exit status,
    // and the work folder, which must hold what it held before but for the
    // files in `written`, each with the bytes given.
    void expectRunLeaves(const std::vector<std::string>& args, int status, const std::string& out,
                         const std::string& err, const std::map<std::string, std::string>& written) const;

    // Waits, up to a minute, until what a started run wrote to its standard
    // output (the captured one) holds `text`; false if it never did.
    bool waitForOutput(const std::string& text) const {
        for (int tenths = 0; tenths < 600; ++tenths) {
            if (readFile(root_ / "stdout").find(text) != std::string::npos) {
                return true;
            }
            usleep(100 * 1000);
        }
        return false;
    }

    // The names in the work folder that a run left while writing a vector
    // file and never finished.
    std::vector<std::string> incompleteFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(work_)) {
            const std::string name = entry.path().filename().string();
            if (name.find(".incomplete-") != std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    }

    fs::path root_;
    fs::path work_;
    mutable int terminal_ = -1;  // the test's end of a terminal given as standard error
};

// Compares a whole run; on failure prints what the tool printed.
inline void expectRun(const Result& actual, int status, const std::string& out, const std::string& err) {
    EXPECT_EQ(actual.status, status);
    EXPECT_EQ(visible(actual.out), visible(console(out)));
    EXPECT_EQ(visible(actual.err), visible(console(err)));
}

inline void EndToEnd::expectRunLeaves(const std::vector<std::string>& args, int status, const std::string& out,
                                      const std::string& err,
                                      const std::map<std::string, std::string>& written) const {
    std::map<std::string, std::string> expected = snapshot();
    for (const auto& [name, bytes] : written) {
        expected[name] = bytes;
    }
    expectRun(run(args), status, out, err);
    EXPECT_EQ(snapshot(), expected);
}

}  // namespace morvale::test

#endif
