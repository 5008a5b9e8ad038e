// Progress on long work: the line shown and how often.
#include "driver/progress.h"

#include <chrono>
#include <cstdio>

#include "driver/console.h"

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
std::size_t shownWidth = 0;  // 0 when no line is shown

// The name as a terminal shows it (control characters escaped), its start
// left out as far as needed for it to take at most `room` bytes: from the
// start of a character, and never inside an escape.
std::string shortened(const std::string& name, std::size_t room) {
    std::string shown = shownOn(stderr, name);
    if (shown.size() <= room) {
        return shown;
    }
    // Escapes only lengthen: the part kept is at most `room` bytes of the name.
    for (std::size_t from = name.size() > room ? name.size() - room : 0; from < name.size(); ++from) {
        if ((static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) {
            continue;  // inside a character
        }
        shown = "..." + shownOn(stderr, name.substr(from));
        if (shown.size() <= room) {
            break;
        }
    }
    return shown;
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
    if (now - started < kFirstAfter || (shownWidth > 0 && now - drawn < kRedrawEvery)) {
        return;
    }
    drawn = now;
    std::string line = lineFor(read, size, std::chrono::duration<double>(now - started).count());
    const std::size_t width = line.size();
    if (width < shownWidth) {
        line.append(shownWidth - width, ' ');  // over what the longer line before showed
    }
    writeConsole(stderr, "\r" + line);
    std::fflush(stderr);
    shownWidth = width;
}

void erase() {
    if (shownWidth == 0) {
        return;
    }
    writeConsole(stderr, "\r" + std::string(shownWidth, ' ') + "\r");
    std::fflush(stderr);
    shownWidth = 0;
}

}  // namespace morvale::progress
