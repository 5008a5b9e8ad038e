// The console: what every system's implementation shares.
#include <atomic>
#include <cstdio>
#include <string>

#include "driver/console.h"

namespace morvale {

namespace {

// Which of standard output (1) and standard error (2) are terminals, or -1
// before anyone asked. Set by the first line shown, so a signal handler
// finds it ready.
std::atomic<int> terminals{-1};

bool showsEscaped(std::FILE* stream) {
    int known = terminals.load();
    if (known < 0) {
        known = (isTerminal(stdout) ? 1 : 0) | (isTerminal(stderr) ? 2 : 0);
        terminals.store(known);
    }
    return (known & (stream == stderr ? 2 : 1)) != 0;
}

bool isControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// Writes how a terminal shows `byte` to `out`, which has room for four
// bytes, and returns how many that is.
std::size_t escape(unsigned char byte, char* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (!isControl(byte)) {
        out[0] = static_cast<char>(byte);
        return 1;
    }
    out[0] = '\\';
    switch (byte) {
    case '\n':
        out[1] = 'n';
        return 2;
    case '\r':
        out[1] = 'r';
        return 2;
    case '\t':
        out[1] = 't';
        return 2;
    default:
        out[1] = 'x';
        out[2] = kHex[byte >> 4];
        out[3] = kHex[byte & 0xF];
        return 4;
    }
}

}  // namespace

std::string shownOn(std::FILE* stream, const std::string& text) {
    if (!showsEscaped(stream)) {
        return text;
    }
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        char escaped[4];
        shown.append(escaped, escape(static_cast<unsigned char>(c), escaped));
    }
    return shown;
}

void sayLeftoverNow(const char* name) {
    static constexpr char kPrefix[] = "morvale: ";
    static constexpr char kSuffix[] = ": cannot remove this unfinished file\n";
    writeErrorNow(kPrefix, sizeof kPrefix - 1);
    const bool escaped = showsEscaped(stderr);
    char shown[256];
    std::size_t used = 0;
    for (const char* at = name; *at != '\0'; ++at) {
        if (used > sizeof shown - 4) {
            writeErrorNow(shown, used);
            used = 0;
        }
        if (escaped) {
            used += escape(static_cast<unsigned char>(*at), shown + used);
        } else {
            shown[used++] = *at;
        }
    }
    writeErrorNow(shown, used);
    writeErrorNow(kSuffix, sizeof kSuffix - 1);
}

}  // namespace morvale
