// The file system: what every system's implementation shares.
#include <atomic>
#include <chrono>
#include <string>

#include "platform/file_system_detail.h"

namespace morvale::files {

namespace {

std::atomic<int> readFault{0};
std::atomic<int> writeFault{0};
std::atomic<int> closeFault{0};

}  // namespace

void injectFaults(const Faults& faults) {
    readFault.store(faults.read);
    writeFault.store(faults.write);
    closeFault.store(faults.close);
}

namespace detail {

int takeReadFault() { return readFault.exchange(0); }
int takeWriteFault() { return writeFault.exchange(0); }
int takeCloseFault() { return closeFault.exchange(0); }

std::string incompleteName(const std::string& target, unsigned long processId, int attempt) {
#ifdef _WIN32
    static constexpr const char* kSeparators = "/\\:";
#else
    static constexpr const char* kSeparators = "/";
#endif
    // Not secret, only unlikely to be taken: the file is created exclusively,
    // so a taken name costs one more attempt and nothing else.
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long long mix = (now ^ (static_cast<unsigned long long>(processId) << 20)) + 0x9E3779B97F4A7C15ULL * static_cast<unsigned long long>(attempt + 1);
    mix ^= mix >> 29;
    mix *= 0xBF58476D1CE4E5B9ULL;
    mix ^= mix >> 32;
    // The name must stay a name the system takes, however long the target's
    // own: the target's part is shortened to fit, at a character's start.
    constexpr std::size_t kLongestName = 255;
    constexpr std::size_t kSuffix = 6;
    const std::size_t leafStart = target.find_last_of(kSeparators) == std::string::npos
                                      ? 0
                                      : target.find_last_of(kSeparators) + 1;
    const std::size_t room = kLongestName - std::char_traits<char>::length(kIncompleteInfix) - kSuffix;
    std::size_t keep = target.size();
    if (keep - leafStart > room) {
        keep = leafStart + room;
        while (keep > leafStart && (static_cast<unsigned char>(target[keep]) & 0xC0) == 0x80) {
            --keep;
        }
    }
    std::string name = target.substr(0, keep) + kIncompleteInfix;
    for (std::size_t digit = 0; digit < kSuffix; ++digit) {
        name += kDigits[mix % 32];
        mix /= 32;
    }
    return name;
}

}  // namespace detail

}  // namespace morvale::files
