#include "platform/win32/Text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>

namespace tessaloom {

// Both conversions use flags 0: the system then replaces what is invalid with U+FFFD
// (MB_ERR_INVALID_CHARS and WC_ERR_INVALID_CHARS would fail the whole text instead).

std::wstring Utf16FromUtf8(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &wide[0], length);
    return wide;
}

std::string Utf8FromUtf16(const wchar_t* text, std::size_t length) {
    if (length == 0 || length > INT_MAX) return std::string();
    const int size = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

std::string Utf8FromUtf16(const std::wstring& text) {
    return Utf8FromUtf16(text.data(), text.size());
}

}  // namespace tessaloom
