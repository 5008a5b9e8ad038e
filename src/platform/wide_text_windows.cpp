// Names and console text on Windows: UTF-8 and UTF-16.
#include "platform/wide_text.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace morvale {

bool wideFromUtf8(const char* text, std::wstring& wide) {
    const int length = static_cast<int>(std::strlen(text));
    wide.clear();
    if (length == 0) {
        return true;
    }
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (size <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(size));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, &wide[0], size) == size;
}

std::string utf8FromWide(const wchar_t* wide) {
    const int length = static_cast<int>(std::wcslen(wide));
    std::string text;
    if (length == 0) {
        return text;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, wide, length, &text[0], size, nullptr, nullptr);
    }
    return text;
}

}  // namespace morvale
