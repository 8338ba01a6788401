// Checks of the Win32 platform layer, run under Wine by the end-to-end tests.
//
//   platform-checks.exe COMMAND... where each command is one of
//     fetch URL EXPECTED_HEX [EXPECTED_BODY_LENGTH]   FetchUrl's result (and body length)
//     write PATH SIZE ok|fail                          WriteWholeFile of SIZE bytes
//     probe PATH yes|no                                ProbeFile
//     hold PATH                                        keeps PATH open without sharing
//     dialog                                           dialog checks (needs a display)
//
// Prints one line per command; exits 0 only when every command gave the expected result,
// 1 when one did not, 2 on a usage error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "checks.h"
#include "platform/win32/Win32Platform.h"

namespace {

using tessaloom::ResultCode;
using tessaloom::Win32Platform;

bool ParseUnsigned(const std::string& text, int base, std::uint64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, base);
    return end != nullptr && *end == '\0';
}

bool IsNumber(const std::string& text) {
    std::uint64_t ignored = 0;
    return ParseUnsigned(text, 10, ignored);
}

bool Fetch(Win32Platform& platform, const std::string& url, ResultCode expected, bool checkLength,
           std::uint64_t expectedLength) {
    tessaloom::StreamPtr stream;
    ResultCode result = platform.FetchUrl(url, {UINT64_MAX, false}, stream);
    std::uint64_t length = 0;
    bool readable = true;
    if (stream) {
        std::uint64_t announced = 0;
        readable = stream->Stat(announced);
        char buffer[4096];
        for (;;) {
            std::uint32_t read = 0;
            if (!stream->Read(buffer, sizeof buffer, read)) readable = false;
            if (!readable || read == 0) break;
            length += read;
        }
        if (announced != length) readable = false;
    }
    bool pass = result == expected && readable && (result == tessaloom::kResultOk) == !!stream &&
                (!checkLength || length == expectedLength);
    std::printf("fetch %s: result 0x%08X, body %llu bytes%s: %s\n", url.c_str(),
                static_cast<unsigned>(result), static_cast<unsigned long long>(length),
                stream ? "" : " (no stream)", pass ? "as expected" : "UNEXPECTED");
    return pass;
}

bool Write(Win32Platform& platform, const std::string& path, std::uint64_t size, bool expectOk) {
    std::vector<char> data(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    std::string error;
    bool ok = platform.WriteWholeFile(path, data.data(), data.size(), error);
    bool pass = ok == expectOk;
    if (ok) {
        // The file holds exactly what was written.
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        std::uint64_t written = 0;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) {
            written = (static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                      attributes.nFileSizeLow;
        }
        pass = pass && written == size;
        std::printf("write %s: ok, %llu bytes on disk: %s\n", path.c_str(),
                    static_cast<unsigned long long>(written), pass ? "as expected" : "UNEXPECTED");
    } else {
        pass = pass && !error.empty();
        std::printf("write %s: failed, \"%s\": %s\n", path.c_str(), error.c_str(),
                    pass ? "as expected" : "UNEXPECTED");
    }
    return pass;
}

bool Probe(Win32Platform& platform, const std::string& path, bool expectOpen) {
    bool opened = platform.ProbeFile(path);
    bool pass = opened == expectOpen;
    std::printf("probe %s: %s: %s\n", path.c_str(), opened ? "opens" : "does not open",
                pass ? "as expected" : "UNEXPECTED");
    return pass;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: platform-checks COMMAND...\n"
                 "  fetch URL EXPECTED_HEX [EXPECTED_BODY_LENGTH]\n"
                 "  write PATH SIZE ok|fail\n"
                 "  probe PATH yes|no\n"
                 "  hold PATH\n"
                 "  dialog\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    Win32Platform platform(GetModuleHandleA(nullptr));
    std::vector<HANDLE> held;
    bool allPassed = true;
    std::size_t i = 0;
    while (i < args.size()) {
        const std::string& command = args[i];
        std::uint64_t number = 0;
        if (command == "fetch" && i + 2 < args.size() && ParseUnsigned(args[i + 2], 16, number)) {
            bool checkLength = i + 3 < args.size() && IsNumber(args[i + 3]);
            std::uint64_t length = 0;
            if (checkLength) ParseUnsigned(args[i + 3], 10, length);
            allPassed = Fetch(platform, args[i + 1], static_cast<ResultCode>(number), checkLength,
                              length) &&
                        allPassed;
            i += checkLength ? 4 : 3;
        } else if (command == "write" && i + 3 < args.size() &&
                   ParseUnsigned(args[i + 2], 10, number) &&
                   (args[i + 3] == "ok" || args[i + 3] == "fail")) {
            allPassed = Write(platform, args[i + 1], number, args[i + 3] == "ok") && allPassed;
            i += 4;
        } else if (command == "probe" && i + 2 < args.size() &&
                   (args[i + 2] == "yes" || args[i + 2] == "no")) {
            allPassed = Probe(platform, args[i + 1], args[i + 2] == "yes") && allPassed;
            i += 3;
        } else if (command == "hold" && i + 1 < args.size()) {
            HANDLE file = CreateFileA(args[i + 1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            std::printf("hold %s: %s\n", args[i + 1].c_str(),
                        file != INVALID_HANDLE_VALUE ? "held" : "cannot open: UNEXPECTED");
            if (file != INVALID_HANDLE_VALUE) {
                held.push_back(file);
            } else {
                allPassed = false;
            }
            i += 2;
        } else if (command == "dialog") {
            allPassed = tessaloom_checks::RunDialogChecks(platform) && allPassed;
            i += 1;
        } else {
            return Usage();
        }
        std::fflush(stdout);
    }
    for (HANDLE file : held) CloseHandle(file);
    return allPassed ? 0 : 1;
}
