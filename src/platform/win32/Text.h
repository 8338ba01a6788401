// Text at the Windows boundary: the program's strings are UTF-8, the system's UTF-16.
#pragma once

#include <cstddef>
#include <string>

namespace tessaloom {

// `text` in UTF-16; invalid UTF-8 sequences become U+FFFD.
std::wstring Utf16FromUtf8(const std::string& text);
// `text` in UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(const wchar_t* text, std::size_t length);
std::string Utf8FromUtf16(const std::wstring& text);

}  // namespace tessaloom
