#include "platform/win32/Text.h"

#include <climits>
#include <string>

namespace tessaloom {

namespace {

// Text in the code page `codePage` in UTF-16; what the code page does not define becomes its
// default character (U+FFFD in UTF-8).
std::wstring Utf16FromCodePage(const std::string& text, UINT codePage) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

}  // namespace

// Both conversions use flags 0: the system then replaces what is invalid with U+FFFD
// (MB_ERR_INVALID_CHARS and WC_ERR_INVALID_CHARS would fail the whole text instead).

std::wstring Utf16FromUtf8(const std::string& text) { return Utf16FromCodePage(text, CP_UTF8); }

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

std::string SystemMessage(DWORD code) {
    wchar_t buffer[1024];
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]), nullptr);
    std::string text = Utf8FromUtf16(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\t')) {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (text.empty()) text = "Error " + std::to_string(code);
    return text;
}

std::string DecodeText(const std::string& text, TextEncoding encoding) {
    if (encoding == TextEncoding::kUtf8) return Utf8FromUtf16(Utf16FromUtf8(text));
    // The system locale's code page, not the process's (GetACP), which a manifest may change.
    // A locale with none (Unicode-only) gives 0.
    DWORD codePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage),
                       sizeof codePage / sizeof(wchar_t)) == 0 ||
        codePage == 0) {
        codePage = 1252;
    }
    return Utf8FromUtf16(Utf16FromCodePage(text, codePage));
}

std::string FoldCase(const std::string& name) {
    const std::wstring wide = Utf16FromUtf8(name);
    if (wide.empty() || wide.size() > INT_MAX) return name;
    // Upper case without LCMAP_LINGUISTIC_CASING: the file system's own casing, the same in
    // every locale.
    const int size = static_cast<int>(wide.size());
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), size,
                                     nullptr, 0, nullptr, nullptr, 0);
    if (length <= 0) return name;
    std::wstring folded(static_cast<std::size_t>(length), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), size, &folded[0],
                      length, nullptr, nullptr, 0) != length) {
        return name;
    }
    return Utf8FromUtf16(folded);
}

}  // namespace tessaloom
