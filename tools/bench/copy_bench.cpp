// Cost of the checked shell copy: how long CopyInstallation takes on a tree of many files, how
// much of it the check of the result (CopyIsComplete) and the walk of the installation before
// it (SurveyInstallation) take, and the shell's copy alone for comparison. Run under Wine by
// run-copy-bench.sh; prints the medians of several runs.
//
//   copy_bench.exe WORK_DIR [--files N] [--mb N] [--runs N]
//
// WORK_DIR (a Windows path) must be empty or missing; the tree and its copies are left there
// (the shell deletes thousands of files slowly: run-copy-bench.sh removes them natively).
// Winsock 2 and windows.h in the order they need: before anything that includes windows.h.
#include "platform/win32/Win32Platform.h"
// The others after it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Timing.h"
#include "installation/InstallationCopy.h"
#include "installation/InstallationSurvey.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Text.h"

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

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(tessaloom::Utf16FromUtf8(path).c_str(), nullptr) != FALSE;
}

bool WriteFileOfSize(const std::string& path, unsigned long long size, unsigned seed) {
    const tessaloom::ScopedHandle file(CreateFileW(tessaloom::Utf16FromUtf8(path).c_str(),
                                                   GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
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
        ok = WriteFile(file.get(), block.data(), chunk, &written, nullptr) && written == chunk;
        size -= chunk;
    }
    return ok;
}

// `files` files in folders of 100 (two levels deep), `megabytes` in all: one large file and
// the rest spread over the small ones.
bool MakeTree(const std::string& root, unsigned files, unsigned megabytes,
              unsigned long long& bytes) {
    if (!MakeFolder(root)) return false;
    const unsigned long long total = static_cast<unsigned long long>(megabytes) << 20;
    const unsigned long long small = files > 1 ? total / 2 / (files - 1) : 0;
    bytes = 0;
    bool ok = WriteFileOfSize(Join(root, "version.id"), 8, 0);
    for (unsigned i = 1; ok && i < files; ++i) {
        const std::string group = Join(root, "group" + std::to_string(i / 1000));
        const std::string folder = Join(group, "folder" + std::to_string(i / 100));
        if (i == 1 || i % 1000 == 0) ok = MakeFolder(group);
        if (ok && (i == 1 || i % 100 == 0)) ok = MakeFolder(folder);
        const unsigned long long size = small + i % 512;
        ok = ok && WriteFileOfSize(Join(folder, "file" + std::to_string(i) + ".dat"), size, i);
        bytes += size;
    }
    const unsigned long long large = total > bytes ? total - bytes : 0;
    ok = ok && WriteFileOfSize(Join(root, "large.bin"), large, 7);
    bytes += large + 8;
    return ok;
}

// The bytes of the files a survey found.
unsigned long long SurveyedBytes(const tessaloom::InstallationSurvey& survey) {
    unsigned long long bytes = 0;
    for (const tessaloom::SurveyedFolder& folder : survey.folders) {
        for (const tessaloom::FolderEntry& entry : folder.entries) {
            if (!entry.folder) bytes += entry.size;
        }
    }
    return bytes;
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
    MakeFolder(settings.work);
    if (GetFileAttributesW(tessaloom::Utf16FromUtf8(source).c_str()) != INVALID_FILE_ATTRIBUTES) {
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

    tessaloom::Win32Platform platform(GetModuleHandleW(nullptr));
    std::vector<double> raw, copied, check, survey;
    for (unsigned run = 1; run <= settings.runs; ++run) {
        const std::string rawCopy = Join(settings.work, "raw" + std::to_string(run));
        const std::string copy = Join(settings.work, "copy" + std::to_string(run));

        // The shell's copy alone, as CopyInstallation asks it of a new destination.
        auto start = std::chrono::steady_clock::now();
        const tessaloom::CopyResult shell = platform.ShellCopy(nullptr, source, rawCopy);
        raw.push_back(MillisecondsSince(start));
        if (shell.code != 0 || shell.aborted) {
            std::fprintf(stderr, "the shell's copy failed: code %d\n", shell.code);
            return 1;
        }

        start = std::chrono::steady_clock::now();
        const tessaloom::InstallationSurvey surveyed =
            tessaloom::SurveyInstallation(platform, source);
        survey.push_back(MillisecondsSince(start));
        if (surveyed.fault != tessaloom::InstallationSurvey::Fault::kNone ||
            SurveyedBytes(surveyed) != bytes) {
            std::fprintf(stderr, "SurveyInstallation finds %llu bytes of %llu\n",
                         SurveyedBytes(surveyed), bytes);
            return 1;
        }

        start = std::chrono::steady_clock::now();
        const tessaloom::CopyResult result =
            tessaloom::CopyInstallation(platform, nullptr, source, copy, surveyed);
        copied.push_back(MillisecondsSince(start));
        if (result.code != 0 || result.aborted) {
            std::fprintf(stderr, "CopyInstallation failed: code %d\n", result.code);
            return 1;
        }

        // The check CopyInstallation made, once more on its own.
        start = std::chrono::steady_clock::now();
        const bool complete = tessaloom::CopyIsComplete(platform, surveyed, copy, {});
        check.push_back(MillisecondsSince(start));
        if (!complete) {
            std::fprintf(stderr, "CopyIsComplete refuses a complete copy\n");
            return 1;
        }
        std::printf(
            "run %u: shell copy %.0f ms, survey %.1f ms, CopyInstallation %.0f ms, "
            "CopyIsComplete %.1f ms\n",
            run, raw.back(), survey.back(), copied.back(), check.back());
        std::fflush(stdout);
    }

    const double copyMs = Median(copied);
    const double checkMs = Median(check);
    const double surveyMs = Median(survey);
    const auto share = [copyMs](double ms) { return copyMs > 0 ? 100 * ms / copyMs : 0; };
    std::printf("median of %u runs:\n", settings.runs);
    std::printf("  shell copy alone         %10.1f ms\n", Median(raw));
    std::printf("  CopyInstallation (copy)  %10.1f ms\n", copyMs);
    std::printf("  CopyIsComplete (check)   %10.1f ms\n", checkMs);
    std::printf("  SurveyInstallation       %10.1f ms\n", surveyMs);
    std::printf("  check / copy             %10.2f %%\n", share(checkMs));
    std::printf("  survey / copy            %10.2f %%\n", share(surveyMs));
    std::printf("  survey + check / copy    %10.2f %%\n", share(surveyMs + checkMs));
    return 0;
}
