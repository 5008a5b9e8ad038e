// Progress on long work: the line shown and how often.
#include "driver/progress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "driver/console.h"
#include "platform/interrupts.h"

namespace morvale::progress {

namespace {

using Clock = std::chrono::steady_clock;

// Quick tables show nothing; a long one is redrawn often enough to look alive
// and seldom enough to cost nothing.
constexpr auto kFirstAfter = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
// The line fits one row of a terminal, so that "\r" takes the cursor back
// to its start: the name is shortened to its end where it would not.
constexpr std::size_t kWidth = 79;

bool enabled = false;
std::string table;
Clock::time_point started;
Clock::time_point drawn;
// 0 when no line is shown. An interruption reads it.
std::atomic<std::size_t> shownWidth{0};

bool isContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Where to cut `name` at or after `from`: the start of a character, unless
// more continuation bytes follow than a character holds (a name that is not
// UTF-8, whose every byte a terminal shows as one character).
std::size_t characterStart(const std::string& name, std::size_t from) {
    for (int inside = 0; inside < 3 && from < name.size() && isContinuation(name[from]); ++inside) {
        ++from;
    }
    return from;
}

// Blanks over the line shown; from the handler of an interruption too.
void eraseNow() {
    const std::size_t width = shownWidth.exchange(0);
    if (width == 0) {
        return;
    }
    static constexpr char kBlanks[] = "                                        "
                                      "                                        ";
    writeErrorNow("\r", 1);
    writeErrorNow(kBlanks, std::min(width, sizeof kBlanks - 1));
    writeErrorNow("\r", 1);
}

// The name as a terminal shows it (control characters escaped), its start
// left out as far as needed for it to take at most `room` bytes: from the
// start of a character, and never inside an escape.
std::string shortened(const std::string& name, std::size_t room) {
    std::string shown = shownOn(stderr, name);
    if (shown.size() <= room) {
        return shown;
    }
    // Escapes only lengthen: the part kept is at most `room` bytes of the name.
    std::size_t from = characterStart(name, name.size() > room ? name.size() - room : 0);
    for (; from < name.size(); from = characterStart(name, from + 1)) {
        shown = "..." + shownOn(stderr, name.substr(from));
        if (shown.size() <= room) {
            return shown;
        }
    }
    return "...";
}

std::string lineFor(long long read, long long size, double seconds) {
    char figures[96];
    const double megabytes = static_cast<double>(read) / 1e6;
    const double speed = seconds > 0 ? megabytes / seconds : 0;
    if (size > 0) {
        std::snprintf(figures, sizeof figures, "%d%% (%.0f of %.0f MB), %.0f MB/s",
                      static_cast<int>(static_cast<double>(read) * 100 / static_cast<double>(size)), megabytes,
                      static_cast<double>(size) / 1e6, speed);
    } else {
        std::snprintf(figures, sizeof figures, "%.0f MB, %.0f MB/s", megabytes, speed);
    }
    const std::string prefix = "morvale: ";
    const std::size_t fixed = prefix.size() + 2 + std::string(figures).size();
    return prefix + shortened(table, fixed < kWidth ? kWidth - fixed : 0) + ": " + figures;
}

}  // namespace

void enable(bool watched) { enabled = watched; }

void start(const std::string& name) {
    table = name;
    started = Clock::now();
    drawn = started;
}

void blockRead(long long read, long long size) {
    if (!enabled) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now - started < kFirstAfter || (shownWidth.load() > 0 && now - drawn < kRedrawEvery)) {
        return;
    }
    drawn = now;
    std::string line = lineFor(read, size, std::chrono::duration<double>(now - started).count());
    const std::size_t width = line.size();
    if (width < shownWidth.load()) {
        line.append(shownWidth.load() - width, ' ');  // over what the longer line before showed
    }
    writeConsole(stderr, "\r" + line);
    std::fflush(stderr);
    shownWidth.store(width);
    interrupts::eraseOnInterrupt(eraseNow);
}

void erase() {
    if (shownWidth.load() == 0) {
        return;
    }
    interrupts::eraseOnInterrupt(nullptr);
    std::fflush(stderr);
    eraseNow();
}

}  // namespace morvale::progress
