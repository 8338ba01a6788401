// Core of the end-to-end driver: failures, checks, progress output, text conversion and
// waiting with a timeout.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace e2e {

// Thrown by a failed check: the scenario stops there and the driver exits non-zero.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& message);

// Progress output, flushed at once so that it interleaves with the run script's.
void Step(const std::string& text);  // "-- text": what the scenario does next
void Note(const std::string& text);  // "   text": an observation

// Each check prints "ok: what" or throws a Failure naming what, expected and actual.
void Check(bool condition, const std::string& what);
void CheckEqual(const std::string& actual, const std::string& expected, const std::string& what);
void CheckEqual(long long actual, long long expected, const std::string& what);
void CheckEqual(const std::vector<std::string>& actual, const std::vector<std::string>& expected,
                const std::string& what);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, std::size_t length);

// Printable form of a text: quoted, with CR, LF, tabs and other control bytes escaped.
std::string Quote(const std::string& text);
std::string Quote(const std::vector<std::string>& texts);  // [ "a", "b" ]
std::string Hex(unsigned long value);                      // 0x0000abcd

// Polling interval of every wait.
constexpr DWORD kPollMs = 50;

// Limits of the waits on the program and on Wine. Each bounds a wait that normally ends within
// a second or two; they are generous because a loaded machine (a shared 2-core CI) slows Wine
// far more than that, and a scenario's own limit (TESSALOOM_E2E_TIMEOUT) stays above them.
// A window shows: a Wine process starts (the program, the file manager), a dialog opens.
constexpr DWORD kWindowTimeoutMs = 60000;
// A window reacts to a click or a message: it closes, repaints, fills a field.
constexpr DWORD kReactTimeoutMs = 20000;
// A process ends after it was told to.
constexpr DWORD kExitTimeoutMs = 30000;

// Polls `condition` every kPollMs until it holds or `timeoutMs` has passed. Returns whether
// it held. The condition runs at least once, and once more after the deadline.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Milliseconds since `start` (a GetTickCount64 value).
unsigned long long ElapsedMs(unsigned long long start);

}  // namespace e2e
