// The console on a terminal, run on a pseudo-terminal: names shown so that
// they cannot fake a line or command the terminal, and a terminal given
// back as it was whatever ends the key wait.
#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <chrono>

#include "end_to_end_support.h"

namespace morvale {
namespace {

using namespace test;

// What a terminal shows of the text: every line end as CR LF.
std::string onTerminal(const std::string& text) { return withCrLf(text); }

class Console : public EndToEnd {
protected:
    // Starts the tool in the work folder with standard output and standard
    // error on a new pseudo-terminal, and standard input too when
    // `terminalInput` (else nothing). `terminal` receives the terminal's
    // other end.
    pid_t startOnTerminal(const std::vector<std::string>& args, bool terminalInput, int& terminal) const {
        std::vector<std::string> command = {executable()};
        command.insert(command.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == 0) {
            const int nothing = ::open("/dev/null", O_RDONLY);
            if (chdir(work_.c_str()) != 0 || nothing < 0 || (!terminalInput && dup2(nothing, 0) < 0)) {
                _exit(126);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    // What the terminal shows until `until` appears, or until the tool has
    // gone and all it wrote is read, or 10 seconds have passed.
    static std::string readTerminal(int terminal, const std::string& until = std::string()) {
        std::string shown;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline && (until.empty() || shown.find(until) == std::string::npos)) {
            pollfd ready = {terminal, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            char block[4096];
            const ssize_t count = ::read(terminal, block, sizeof block);
            if (count <= 0) {
                break;  // EIO: the tool has gone
            }
            shown.append(block, static_cast<std::size_t>(count));
        }
        return shown;
    }

    static int exitStatus(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// On a terminal every control character of a name is shown escaped, in the
// lines of standard output and of standard error alike; redirected to files
// the names are the bytes they are.
TEST_F(Console, NamesAreShownEscapedOnATerminalAndAsTheyAreElsewhere) {
    const std::string fake = "x\nFile fake.vec converted\n\x1b[2J";
    const std::string refused = "tab\there\x7f";
    const std::string tooLong = "T A\n--\n0 " + std::string(256, '7') + "\n";
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string terminal;  // what the terminal shows, both streams in order
        std::string out;       // standard output redirected to a file
        std::string err;       // standard error redirected to a file
    } cases[] = {
        {"a converted table and a refused one",
         {fake + ".txt", refused + ".txt"},
         1,
         "File x\\nFile fake.vec converted\\n\\x1b[2J.vec converted\n"
         "morvale: tab\\there\\x7f.txt: line 3: value longer than 255 characters; file not converted\n" +
             summary(1),
         "File " + fake + ".vec converted\n" + summary(1),
         "morvale: " + refused + ".txt: line 3: value longer than 255 characters; file not converted\n"},
        {"a table that cannot be opened",
         {"gone\r\x1b[31m.txt"},
         1,
         "Error opening file.\nmorvale: gone\\r\\x1b[31m.txt: No such file or directory\n",
         "Error opening file.\n",
         "morvale: gone\r\x1b[31m.txt: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put(fake + ".txt", kOneLineTable);
        put(refused + ".txt", tooLong);
        int terminal = -1;
        const pid_t pid = startOnTerminal(c.args, false, terminal);
        ASSERT_GT(pid, 0);
        const std::string shown = readTerminal(terminal);
        EXPECT_EQ(exitStatus(pid), c.status);
        ::close(terminal);
        EXPECT_EQ(visible(shown), visible(onTerminal(c.terminal)));

        expectRun(run(c.args), c.status, c.out, c.err);
    }
}

// A script's loop on a terminal goes on after each table with --no-wait: no
// closing block, no key to press, the rest as without it.
TEST_F(Console, NoWaitEndsWithoutAKeyOnATerminal) {
    put("t.txt", kOneLineTable);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--no-wait", "t.txt"},
                                                 std::vector<std::string>{"t.txt", "--no-wait"},
                                                 std::vector<std::string>{"--no-wait"}}) {
        SCOPED_TRACE(args.back());
        int terminal = -1;
        const pid_t pid = startOnTerminal(args, true, terminal);
        ASSERT_GT(pid, 0);
        const std::string shown = readTerminal(terminal);
        EXPECT_EQ(exitStatus(pid), 0);
        ::close(terminal);
        const std::string converted = "File t.vec converted\n\t1 File(s) converted succesfully\n\n";
        EXPECT_EQ(visible(shown), visible(onTerminal(args.size() == 1 ? kUsage : converted)));
    }
}

// Whatever ends the key wait, the terminal gets its echo and its lines back.
TEST_F(Console, AnInterruptedKeyWaitGivesTheTerminalBack) {
    for (int signal : {SIGINT, SIGTERM, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(signal));
        int terminal = -1;
        const pid_t pid = startOnTerminal({}, true, terminal);
        ASSERT_GT(pid, 0);
        readTerminal(terminal, "Press anykey to continue");
        // The prompt comes just before the terminal is changed.
        termios during;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (tcgetattr(terminal, &during) == 0 && (during.c_lflag & ECHO) != 0 &&
               std::chrono::steady_clock::now() < deadline) {
            poll(nullptr, 0, 10);
        }
        EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u) << "the key wait reads one key, unseen";
        kill(pid, signal);
        EXPECT_EQ(exitStatus(pid), 128 + signal);
        termios after;
        ASSERT_EQ(tcgetattr(terminal, &after), 0);
        EXPECT_EQ(after.c_lflag & (ECHO | ICANON), static_cast<tcflag_t>(ECHO | ICANON));
        ::close(terminal);
    }
}

}  // namespace
}  // namespace morvale
