// The file system: what every system's implementation shares.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/file_system_detail.h"

namespace morvale::files {

namespace {

std::atomic<int> readFault{0};
std::atomic<int> writeFault{0};
std::atomic<int> closeFault{0};
std::atomic<int> removeFault{0};  // lock-free, so that a signal handler may take it
std::atomic<int> identityFault{0};
std::atomic<int> syncFault{0};
std::atomic<int> syncFaultsLeft{0};
std::atomic<int> syncMilliseconds{0};
std::atomic<int> removeMilliseconds{0};
std::atomic<int> identitiesBeforeFault{0};
std::atomic<int> folderSyncFault{0};
std::atomic<int> createFault{0};
std::atomic<int> createsBeforeFault{0};

// How often createBeside() tries a fresh name before it gives up.
constexpr int kCreateAttempts = 100;

// A name beside `target` for the given attempt: the target's name, the
// infix, and six characters that differ between attempts and processes.
std::string incompleteName(const std::string& target, unsigned long processId, int attempt) {
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
    const std::size_t leaf = leafStart(target);
    const std::size_t room = kLongestName - std::char_traits<char>::length(kIncompleteInfix) - kSuffix;
    std::size_t keep = target.size();
    if (keep - leaf > room) {
        keep = leaf + room;
        while (keep > leaf && (static_cast<unsigned char>(target[keep]) & 0xC0) == 0x80) {
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

}  // namespace

std::size_t leafStart(const std::string& name) {
#ifdef _WIN32
    const std::size_t separator = name.find_last_of("/\\:");
#else
    const std::size_t separator = name.find_last_of('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

void injectFaults(const Faults& faults) {
    readFault.store(faults.read);
    writeFault.store(faults.write);
    closeFault.store(faults.close);
    removeFault.store(faults.remove);
    identitiesBeforeFault.store(faults.identitiesBefore);
    identityFault.store(faults.identity);
    syncFault.store(faults.sync);
    syncFaultsLeft.store(faults.syncs);
    syncMilliseconds.store(faults.syncMilliseconds);
    removeMilliseconds.store(faults.removeMilliseconds);
    folderSyncFault.store(faults.folderSync);
    createFault.store(faults.create);
    createsBeforeFault.store(faults.createsBefore);
}

namespace {

// The errno that the seam gives this identity lookup, or 0.
int identityFaultNow() {
    if (identityFault.load() == 0) {
        return 0;
    }
    if (identitiesBeforeFault.fetch_sub(1) > 0) {
        return 0;
    }
    return identityFault.exchange(0);
}

}  // namespace

bool identityOf(Handle file, Identity& identity) {
    if (const int fault = identityFaultNow()) {
        errno = fault;
        return false;
    }
    return detail::systemIdentityOf(file, identity);
}

bool identityOf(const char* name, Identity& identity) {
    if (const int fault = identityFaultNow()) {
        errno = fault;
        return false;
    }
    return detail::systemIdentityOf(name, identity);
}

bool syncToDisk(Handle file) {
    if (const int milliseconds = syncMilliseconds.load(); milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    if (const int fault = syncFault.load(); fault != 0 && syncFaultsLeft.fetch_sub(1) > 0) {
        errno = fault;
        return false;
    }
    return detail::systemSyncToDisk(file);
}

bool syncFolderOf(const std::string& renamed) {
    if (const int fault = folderSyncFault.load()) {
        errno = fault;
        return false;
    }
    return detail::systemSyncFolderOf(renamed);
}

// A slow removal is slow once the name is gone: that is where an
// interruption would find nothing to remove.
bool remove(const char* name) {
    if (const int fault = removeFault.exchange(0)) {
        errno = fault;
        return false;
    }
    const bool removed = detail::systemRemove(name);
    const int error = errno;
    if (const int milliseconds = removeMilliseconds.load(); milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    errno = error;
    return removed;
}

long long read(Handle file, void* buffer, std::size_t size) {
    if (const int fault = readFault.exchange(0)) {
        errno = fault;
        return -1;
    }
    return detail::systemRead(file, buffer, size);
}

bool writeAll(Handle file, const void* bytes, std::size_t size) {
    if (const int fault = writeFault.exchange(0)) {
        errno = fault;
        return false;
    }
    return detail::systemWriteAll(file, bytes, size);
}

bool close(Handle file) {
    const int fault = closeFault.exchange(0);
    // A file is released even when the fault is injected, so it is never
    // closed twice.
    const bool closed = detail::systemClose(file);
    if (fault != 0) {
        errno = fault;
        return false;
    }
    return closed;
}

Handle createBeside(const std::string& target, const Entry& replaced, const NewFileAccess& access,
                    std::string& created) {
    if (createFault.load() != 0 && createsBeforeFault.fetch_sub(1) <= 0) {
        errno = createFault.exchange(0);
        return kNoHandle;
    }
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string name = incompleteName(target, detail::processId(), attempt);
        const Handle file = detail::createExclusive(name, replaced, access);
        if (file != kNoHandle) {
            created = name;
            return file;
        }
        if (errno != EEXIST) {
            return kNoHandle;
        }
    }
    errno = EEXIST;
    return kNoHandle;
}

}  // namespace morvale::files
