// Names and console text on Windows: the tool carries text as UTF-8, the
// system's calls take and give UTF-16.
#ifndef MORVALE_PLATFORM_WIDE_TEXT_H
#define MORVALE_PLATFORM_WIDE_TEXT_H

#ifdef _WIN32

#include <string>

namespace morvale {

// False when the text is not UTF-8.
bool wideFromUtf8(const char* text, std::wstring& wide);
std::string utf8FromWide(const wchar_t* wide);

}  // namespace morvale

#endif

#endif
