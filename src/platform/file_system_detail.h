// What the per-system implementations of the file system share.
#ifndef MORVALE_PLATFORM_FILE_SYSTEM_DETAIL_H
#define MORVALE_PLATFORM_FILE_SYSTEM_DETAIL_H

#include <string>

#include "platform/file_system.h"

namespace morvale::files::detail {

// The errno a test asked the next such call to fail with, or 0; taking it
// clears it.
int takeReadFault();
int takeWriteFault();
int takeCloseFault();

// How often createBeside() tries a fresh name before it gives up.
constexpr int kCreateAttempts = 100;

// A name beside `target` for the given attempt: the target's name, the
// infix, and six characters that differ between attempts and processes.
std::string incompleteName(const std::string& target, unsigned long processId, int attempt);

}  // namespace morvale::files::detail

#endif
