// Cost of taking a large body across a fetch's thread: how long Win32Platform::FetchUrl takes
// for a body as long as a connection file may be, and for one a byte longer (refused), both
// sent without a length. Run under Wine by run-fetch-bench.sh against the catalogue server;
// prints the median and the fastest of several runs.
//
//   fetch_bench.exe BASE_URL [--runs N]
//
// The bodies are BASE_URL + "whole.txt" and BASE_URL + "over.txt".
// Winsock 2 and windows.h in the order they need: before anything that includes windows.h.
#include "platform/win32/Win32Platform.h"
// The others after it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Timing.h"
#include "catalogue/Download.h"

int main(int argc, char** argv) {
    const bool counted = argc == 4 && std::strcmp(argv[2], "--runs") == 0;
    const unsigned runs = counted ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 5;
    if ((argc != 2 && !counted) || runs == 0) {
        std::fprintf(stderr, "usage: fetch_bench.exe BASE_URL [--runs N]\n");
        return 2;
    }
    const std::string base = argv[1];
    struct Case {
        const char* name;
        const char* file;
        tessaloom::ResultCode expected;
    };
    const Case cases[] = {
        {"16 MiB without a length, taken", "whole.txt", tessaloom::kResultOk},
        {"16 MiB + 1 without a length, refused", "over.txt", tessaloom::kResultTooLarge},
    };

    tessaloom::Win32Platform platform(GetModuleHandleW(nullptr));
    std::printf("median of %u runs:\n", runs);
    for (const Case& c : cases) {
        std::vector<double> times;
        for (unsigned run = 0; run < runs; ++run) {
            tessaloom::StreamPtr stream;
            const auto start = std::chrono::steady_clock::now();
            const tessaloom::ResultCode code =
                platform.FetchUrl(base + c.file, tessaloom::kConnectionFileLimit, stream);
            times.push_back(MillisecondsSince(start));
            if (code != c.expected) {
                std::fprintf(stderr, "%s%s: code 0x%08x\n", base.c_str(), c.file,
                             static_cast<unsigned>(code));
                return 1;
            }
        }
        std::printf("  %-38s %8.1f ms (fastest %.1f ms)\n", c.name, Median(times),
                    *std::min_element(times.begin(), times.end()));
    }
    return 0;
}
