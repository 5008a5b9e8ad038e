// The console and the command line on Windows.
#include "driver/console.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/interrupts.h"
#include "platform/wide_text.h"

namespace morvale {

namespace {

// The console's input mode before the key wait changed it, so that an
// interruption during the wait can give the console back as it was.
std::atomic<DWORD> savedConsoleMode{0};

void restoreConsoleMode() { SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), savedConsoleMode.load()); }

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Whether a name matches a pattern of `*` (any run of characters) and `?`
// (one character), letter case aside as the file system has it. The system's
// own matching also tries each file's short 8.3 name, so that `*.htm` finds
// "page.html"; a shell's user expects only the names they see.
bool matches(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    const auto charLength = [](const wchar_t* at) {
        return IS_HIGH_SURROGATE(at[0]) && IS_LOW_SURROGATE(at[1]) ? 2 : 1;
    };
    while (*name != L'\0') {
        const int length = charLength(name);
        if (*pattern == L'*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern == L'?') {
            ++pattern;
            name += length;
        } else if (*pattern != L'\0' && charLength(pattern) == length &&
                   CompareStringOrdinal(pattern, length, name, length, TRUE) == CSTR_EQUAL) {
            pattern += length;
            name += length;
        } else if (star != nullptr) {
            pattern = star;
            resume += charLength(resume);
            name = resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') {
        ++pattern;
    }
    return *pattern == L'\0';
}

// The files (not folders) that a pattern of `*` and `?` in its last part
// names, each with the pattern's folder part as it was typed, in the order of
// their bytes; names starting with "." only when the pattern does.
std::vector<std::string> filesMatching(const std::string& pattern) {
    std::vector<std::string> names;
    std::wstring wide;
    if (!files::systemName(pattern.c_str(), wide)) {
        return names;
    }
    // The folder part, kept as it was typed, and the pattern of the names.
    std::size_t folderEnd = pattern.find_last_of("\\/");
    folderEnd = folderEnd == std::string::npos ? (pattern.size() >= 2 && pattern[1] == ':' ? 2 : 0) : folderEnd + 1;
    const std::string folder = pattern.substr(0, folderEnd);
    std::size_t wideEnd = wide.size();
    while (wideEnd > 0 && !isSeparator(wide[wideEnd - 1]) && wide[wideEnd - 1] != L':') {
        --wideEnd;
    }
    const std::wstring namePattern = wide.substr(wideEnd);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        // Hidden by convention unless asked for, as a shell has it.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            (found.cFileName[0] == L'.' && namePattern[0] != L'.') || !matches(namePattern.c_str(), found.cFileName)) {
            continue;
        }
        names.push_back(folder + utf8FromWide(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

namespace {

// Keys that only change what another key means; pressing one alone is no
// answer to "press any key".
bool isModifier(WORD key) {
    switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::vector<std::string> argumentsOf(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int index = 0; index < argc; ++index) {
        std::string argument = utf8FromWide(argv[index]);
        if (index > 0 && argument.find_first_of("*?") != std::string::npos) {
            const std::vector<std::string> matching = filesMatching(argument);
            if (!matching.empty()) {
                arguments.insert(arguments.end(), matching.begin(), matching.end());
                continue;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

bool writeConsole(std::FILE* stream, const std::string& text) {
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    std::wstring wide;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode) ||
        !wideFromUtf8(text.c_str(), wide)) {
        return std::fputs(text.c_str(), stream) != EOF;
    }
    // What the stream holds must come first.
    if (std::fflush(stream) != 0) {
        return false;
    }
    const wchar_t* at = wide.c_str();
    std::size_t left = wide.size();
    while (left > 0) {
        const DWORD part = left > 8192 ? 8192 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteConsoleW(handle, at, part, &written, nullptr) || written == 0) {
            errno = EIO;
            return false;
        }
        at += written;
        left -= written;
    }
    return true;
}

void waitForKeyInOwnWindow() {
    // A console that Explorer opened for the tool lists the tool alone; one
    // where the user typed the command lists their shell too.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        waitForKey();
    }
}

void waitForKey() {
    std::fflush(stdout);
    // Only a console has a mode; a file, a pipe or NUL does not, so scripts
    // never wait (the C runtime's _isatty also says yes for NUL).
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) {
        return;
    }
    savedConsoleMode.store(mode);
    interrupts::undoOnInterrupt(restoreConsoleMode);
    // Keeps processed input on, so that Ctrl-C still interrupts the wait.
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
    INPUT_RECORD record;
    DWORD count = 0;
    while (ReadConsoleInputA(input, &record, 1, &count) && count == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            !isModifier(record.Event.KeyEvent.wVirtualKeyCode)) {
            break;
        }
    }
    // The key's release and anything typed with it must not reach the shell.
    FlushConsoleInputBuffer(input);
    SetConsoleMode(input, mode);
    interrupts::undoOnInterrupt(nullptr);
}

// The C runtime gives a program without a console streams that fail
// harmlessly; they never share a handle with a file the tool opens, and a
// report written to a missing one fails, which the run says.
bool guardStandardStreams() { return true; }

bool isTerminal(std::FILE* stream) {
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A Ctrl-C handler runs on a thread of its own, beside the main one, which
// may hold the stream but lets it go again.
void writeErrorNow(const char* bytes, std::size_t size) {
    std::fwrite(bytes, 1, size, stderr);
    std::fflush(stderr);
}

}  // namespace morvale
