// Text at the Windows boundary: the program's strings are UTF-8, the system's UTF-16.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/Platform.h"

namespace tessaloom {

// `text` in UTF-16; invalid UTF-8 sequences become U+FFFD.
std::wstring Utf16FromUtf8(const std::string& text);
// `text` in UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(const wchar_t* text, std::size_t length);
std::string Utf8FromUtf16(const std::wstring& text);

// The system's text for an error code in the user's language, without the trailing line break
// and full stop.
std::string SystemMessage(DWORD code);

// Platform::DecodeText and Platform::FoldCase on the system's conversions.
std::string DecodeText(const std::string& text, TextEncoding encoding);
std::string FoldCase(const std::string& name);

}  // namespace tessaloom
