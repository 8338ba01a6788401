// Cost of the checked shell copy: how long ShellCopyFolder takes on a tree of many files, how
// much of it the check of the result (VerifyCopy) and the walk of the installation before it
// (SurveyInstallation) take, and the shell's copy alone for comparison. Run under Wine by
// run-copy-bench.sh; prints the medians of several runs.
//
//   copy_bench.exe WORK_DIR [--files N] [--mb N] [--runs N]
//
// WORK_DIR (a Windows path) must be empty or missing; the tree and its copies are left there
// (the shell deletes thousands of files slowly: run-copy-bench.sh removes them natively).
// Winsock 2 and windows.h in the order they need.
#include "platform/win32/Win32Platform.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installation/InstallationSurvey.h"
#include "platform/win32/ShellCopy.h"

namespace {

struct Settings {
    std::string work;
    unsigned files = 3000;
    unsigned megabytes = 64;
    unsigned runs = 3;
};

std::string Join(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool WriteFileOfSize(const std::string& path, unsigned long long size, unsigned seed) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<char> block(1 << 16);
    unsigned state = seed * 2654435761u + 1;
    for (char& byte : block) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    bool ok = true;
    while (ok && size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<unsigned long long>(size, block.size()));
        DWORD written = 0;
        ok = WriteFile(file, block.data(), chunk, &written, nullptr) && written == chunk;
        size -= chunk;
    }
    return CloseHandle(file) && ok;
}

// `files` files in folders of 100 (two levels deep), `megabytes` in all: one large file and
// the rest spread over the small ones.
bool MakeTree(const std::string& root, unsigned files, unsigned megabytes,
              unsigned long long& bytes) {
    if (!CreateDirectoryA(root.c_str(), nullptr)) return false;
    const unsigned long long total = static_cast<unsigned long long>(megabytes) << 20;
    const unsigned long long small = files > 1 ? total / 2 / (files - 1) : 0;
    bytes = 0;
    bool ok = WriteFileOfSize(Join(root, "version.id"), 8, 0);
    for (unsigned i = 1; ok && i < files; ++i) {
        const std::string group = Join(root, "group" + std::to_string(i / 1000));
        const std::string folder = Join(group, "folder" + std::to_string(i / 100));
        if (i == 1 || i % 1000 == 0) ok = CreateDirectoryA(group.c_str(), nullptr) != FALSE;
        if (ok && (i == 1 || i % 100 == 0)) ok = CreateDirectoryA(folder.c_str(), nullptr) != FALSE;
        const unsigned long long size = small + i % 512;
        ok = ok && WriteFileOfSize(Join(folder, "file" + std::to_string(i) + ".dat"), size, i);
        bytes += size;
    }
    const unsigned long long large = total > bytes ? total - bytes : 0;
    ok = ok && WriteFileOfSize(Join(root, "large.bin"), large, 7);
    bytes += large + 8;
    return ok;
}

// The shell's copy of `source` as a new folder `destination`, without any check.
bool RawShellCopy(const std::string& source, const std::string& destination) {
    char from[MAX_PATH + 2] = {};
    char to[MAX_PATH + 2] = {};
    source.copy(from, MAX_PATH);
    destination.copy(to, MAX_PATH);
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_COPY;
    operation.pFrom = from;
    operation.pTo = to;
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
}

int Usage() {
    std::fprintf(stderr, "usage: copy_bench.exe WORK_DIR [--files N] [--mb N] [--runs N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    settings.work = args[0];
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return Usage();
        const unsigned value =
            static_cast<unsigned>(std::strtoul(args[i + 1].c_str(), nullptr, 10));
        if (value == 0) return Usage();
        if (args[i] == "--files") {
            settings.files = value;
        } else if (args[i] == "--mb") {
            settings.megabytes = value;
        } else if (args[i] == "--runs") {
            settings.runs = value;
        } else {
            return Usage();
        }
    }

    const std::string source = Join(settings.work, "Quorvane");
    CreateDirectoryA(settings.work.c_str(), nullptr);
    if (GetFileAttributesA(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "%s is not empty\n", settings.work.c_str());
        return 1;
    }
    unsigned long long bytes = 0;
    const auto made = std::chrono::steady_clock::now();
    if (!MakeTree(source, settings.files, settings.megabytes, bytes)) {
        std::fprintf(stderr, "cannot make the tree in %s\n", source.c_str());
        return 1;
    }
    std::printf("tree: %u files, %.1f MB, made in %.0f ms\n", settings.files, bytes / 1048576.0,
                MillisecondsSince(made));

    tessaloom::Win32Platform platform(GetModuleHandleA(nullptr));
    std::vector<double> raw, checked, verify, survey;
    for (unsigned run = 1; run <= settings.runs; ++run) {
        const std::string rawCopy = Join(settings.work, "raw" + std::to_string(run));
        const std::string copy = Join(settings.work, "copy" + std::to_string(run));

        auto start = std::chrono::steady_clock::now();
        if (!RawShellCopy(source, rawCopy)) {
            std::fprintf(stderr, "the shell's copy failed\n");
            return 1;
        }
        raw.push_back(MillisecondsSince(start));

        start = std::chrono::steady_clock::now();
        const tessaloom::InstallationSurvey surveyed =
            tessaloom::SurveyInstallation(platform, source);
        survey.push_back(MillisecondsSince(start));
        if (surveyed.loops || surveyed.bytes != bytes) {
            std::fprintf(stderr, "SurveyInstallation counts %llu bytes of %llu\n",
                         static_cast<unsigned long long>(surveyed.bytes), bytes);
            return 1;
        }

        start = std::chrono::steady_clock::now();
        const tessaloom::CopyResult result = tessaloom::ShellCopyFolder(nullptr, source, copy);
        checked.push_back(MillisecondsSince(start));
        if (result.code != 0 || result.aborted) {
            std::fprintf(stderr, "ShellCopyFolder failed: code %d\n", result.code);
            return 1;
        }

        start = std::chrono::steady_clock::now();
        const bool verified = tessaloom::VerifyCopy(source, copy, {});
        verify.push_back(MillisecondsSince(start));
        if (!verified) {
            std::fprintf(stderr, "VerifyCopy rejects a complete copy\n");
            return 1;
        }
        std::printf(
            "run %u: shell copy %.0f ms, survey %.1f ms, ShellCopyFolder %.0f ms, "
            "VerifyCopy %.1f ms\n",
            run, raw.back(), survey.back(), checked.back(), verify.back());
        std::fflush(stdout);
    }

    const double copyMs = Median(checked);
    const double verifyMs = Median(verify);
    const double surveyMs = Median(survey);
    std::printf("median of %u runs:\n", settings.runs);
    std::printf("  shell copy alone         %10.1f ms\n", Median(raw));
    std::printf("  ShellCopyFolder (copy)   %10.1f ms\n", copyMs);
    std::printf("  VerifyCopy (check)       %10.1f ms\n", verifyMs);
    std::printf("  SurveyInstallation       %10.1f ms\n", surveyMs);
    std::printf("  check / copy             %10.2f %%\n", copyMs > 0 ? 100 * verifyMs / copyMs : 0);
    std::printf("  survey / copy            %10.2f %%\n", copyMs > 0 ? 100 * surveyMs / copyMs : 0);
    return 0;
}
