#include "Driver.h"

#include <cstdio>

namespace e2e {

void Fail(const std::string& message) { throw Failure(message); }

void Step(const std::string& text) {
    std::printf("-- %s\n", text.c_str());
    std::fflush(stdout);
}

void Note(const std::string& text) {
    std::printf("   %s\n", text.c_str());
    std::fflush(stdout);
}

void Check(bool condition, const std::string& what) {
    if (!condition) Fail(what);
    std::printf("ok: %s\n", what.c_str());
    std::fflush(stdout);
}

void CheckEqual(const std::string& actual, const std::string& expected, const std::string& what) {
    if (actual != expected) {
        Fail(what + "\n   expected " + Quote(expected) + "\n   actual   " + Quote(actual));
    }
    Check(true, what + " = " + Quote(actual));
}

void CheckEqual(long long actual, long long expected, const std::string& what) {
    if (actual != expected) {
        Fail(what + ": expected " + std::to_string(expected) + ", actual " +
             std::to_string(actual));
    }
    Check(true, what + " = " + std::to_string(actual));
}

void CheckEqual(const std::vector<std::string>& actual, const std::vector<std::string>& expected,
                const std::string& what) {
    if (actual != expected) {
        Fail(what + "\n   expected " + Quote(expected) + "\n   actual   " + Quote(actual));
    }
    Check(true, what + " = " + Quote(actual));
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
    if (length == 0) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr,
                                   nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), &utf8[0], size, nullptr,
                        nullptr);
    return utf8;
}

std::string Narrow(const std::wstring& wide) { return Narrow(wide.data(), wide.size()); }

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '\r':
                quoted += "\\r";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\t':
                quoted += "\\t";
                break;
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                    quoted += escaped;
                } else {
                    quoted += static_cast<char>(c);
                }
        }
    }
    return quoted + "\"";
}

std::string Quote(const std::vector<std::string>& texts) {
    std::string list = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        list += (i == 0 ? " " : ", ") + Quote(texts[i]);
    }
    return list + " ]";
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", value);
    return text;
}

unsigned long long ElapsedMs(unsigned long long start) { return GetTickCount64() - start; }

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const unsigned long long start = GetTickCount64();
    for (;;) {
        if (condition()) return true;
        if (ElapsedMs(start) >= timeoutMs) return condition();
        Sleep(kPollMs);
    }
}

}  // namespace e2e
