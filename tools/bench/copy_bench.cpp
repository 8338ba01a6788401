// Cost of the checked shell copy and of what the Duplicate command learns before it, run under
// Wine by run-copy-bench.sh; prints the medians of several runs. Three modes:
//
//   copy   how long CopyInstallation takes on a tree of many files, how much of it the checks
//          before it (CheckBeforeCopy, the walk of the installation included) and the check of
//          the result (CopyIsComplete) take, and the shell's copy alone for comparison
//   walk   SurveyInstallation beside the walk as it was before it kept its records (the
//          baseline below), on the same tree in the same run
//   merge  the same checks against an existing copy of the tree beside the merge into it
//
//   copy_bench.exe WORK_DIR [copy|walk|merge] [--files N] [--mb N] [--runs N]
//
// WORK_DIR (a Windows path) must be empty or missing; the tree and its copies are left there
// (the shell deletes thousands of files slowly: run-copy-bench.sh removes them natively).
// Winsock 2 and windows.h in the order they need: before anything that includes windows.h.
#include "platform/win32/Win32Platform.h"
// The others after it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Timing.h"
#include "installation/Checks.h"
#include "installation/Destination.h"
#include "installation/InstallationCopy.h"
#include "installation/InstallationSurvey.h"
#include "paths/Paths.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Text.h"

namespace {

struct Settings {
    std::string work;
    std::string mode = "copy";
    unsigned files = 0;  // the mode's own when not given
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

// The walk as it was before the survey kept each folder's entries and final path (commit
// 8031079): the portable walk, IdentifyFile and ListFolder of that time, with the narrow
// functions they used.
namespace baseline {

struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t high = 0, low = 0;
    bool operator==(const FileId& other) const {
        return volume == other.volume && high == other.high && low == other.low;
    }
    bool operator<(const FileId& other) const {
        if (volume != other.volume) return volume < other.volume;
        if (high != other.high) return high < other.high;
        return low < other.low;
    }
};

struct FolderEntry {
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;
};

struct InstallationSurvey {
    bool loops = false;
    std::uint64_t bytes = 0;
    std::set<FileId> folders;
};

bool ListEntries(const std::string& folder,
                 const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
    const std::string pattern = tessaloom::JoinPath(folder, "*");
    if (!tessaloom::FitsInPathBuffer(pattern)) return false;
    WIN32_FIND_DATAA data;
    tessaloom::ScopedFind find(FindFirstFileA(pattern.c_str(), &data));
    if (!find.valid()) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        return error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") visit(data);
    } while (FindNextFileA(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    return ListEntries(folder, [&](const WIN32_FIND_DATAA& data) {
        FolderEntry entry;
        entry.name = data.cFileName;
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (!entry.folder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            tessaloom::ScopedHandle target(
                CreateFileA(tessaloom::JoinPath(folder, entry.name).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
            LARGE_INTEGER size;
            if (target.valid() && GetFileSizeEx(target.get(), &size)) {
                entry.size = static_cast<std::uint64_t>(size.QuadPart);
            }
        }
        entries.push_back(std::move(entry));
    });
}

bool IdentifyFile(const std::string& path, FileId& id) {
    tessaloom::ScopedHandle file(
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return false;
    id = FileId{};
    FILE_ID_INFO wide = {};
    if (GetFileInformationByHandleEx(file.get(), FileIdInfo, &wide, sizeof wide)) {
        id.volume = wide.VolumeSerialNumber;
        std::memcpy(&id.low, wide.FileId.Identifier, sizeof id.low);
        std::memcpy(&id.high, wide.FileId.Identifier + sizeof id.low, sizeof id.high);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.low = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

void Walk(const std::string& folder, std::vector<FileId>& ancestors, InstallationSurvey& survey) {
    FileId id;
    if (!IdentifyFile(folder, id)) return;
    if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
        survey.loops = true;
        return;
    }
    survey.folders.insert(id);
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) return;
    ancestors.push_back(id);
    for (const FolderEntry& entry : entries) {
        if (entry.folder) {
            Walk(tessaloom::JoinPath(folder, entry.name), ancestors, survey);
            if (survey.loops) break;
        } else {
            survey.bytes += entry.size;
        }
    }
    ancestors.pop_back();
}

InstallationSurvey SurveyInstallation(const std::string& source) {
    InstallationSurvey survey;
    std::vector<FileId> ancestors;
    Walk(source, ancestors, survey);
    return survey;
}

}  // namespace baseline

// Answers the shell's confirmations of this process with "Yes to all" from a second thread.
class YesToAll {
public:
    YesToAll() : m_thread([this] { Run(); }) {}
    ~YesToAll() {
        m_stop = true;
        m_thread.join();
    }

private:
    static BOOL CALLBACK FindButton(HWND child, LPARAM found) {
        wchar_t text[64] = {};
        GetWindowTextW(child, text, 64);
        std::wstring label;
        for (const wchar_t* c = text; *c; ++c) {
            if (*c != L'&') label += *c;
        }
        if (label != L"Yes to all" || !IsWindowVisible(child)) return TRUE;
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
        EnumChildWindows(window, FindButton, found);
        return *reinterpret_cast<HWND*>(found) == nullptr;
    }
    void Run() {
        while (!m_stop) {
            HWND button = nullptr;
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&button));
            if (button != nullptr) {
                PostMessageW(GetParent(button), WM_COMMAND,
                             MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
            }
            Sleep(50);
        }
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The files the program writes after the copy, as the Duplicate command names them.
const std::vector<std::string> kWritten = {"cd_image\\data\\launcher\\QuorvaneLauncher.url",
                                           "cd_image\\data\\launcher\\DozidavuvUvurez.url",
                                           "cd_image\\data\\patcher\\QuorvanePatcher.url"};

int Usage() {
    std::fprintf(
        stderr,
        "usage: copy_bench.exe WORK_DIR [copy|walk|merge] [--files N] [--mb N] [--runs N]\n");
    return 2;
}

// The share of the checks before a copy and of the check after it in `copyMs`.
void PrintShares(const char* what, double copyMs, double checksMs, double checkMs) {
    const auto share = [copyMs](double ms) { return copyMs > 0 ? 100 * ms / copyMs : 0; };
    const std::string of = std::string(" / ") + what;
    std::printf("  %-28s %8.2f %%\n", ("checks" + of).c_str(), share(checksMs));
    std::printf("  %-28s %8.2f %%\n", ("check" + of).c_str(), share(checkMs));
    std::printf("  %-28s %8.2f %%\n", ("checks + check" + of).c_str(), share(checksMs + checkMs));
}

// The shell's copy, CopyInstallation, the checks before it and after it, each run into new
// folders.
int CopyMode(tessaloom::Platform& platform, const Settings& settings, const std::string& source,
             unsigned long long bytes) {
    std::vector<double> raw, copied, check, checks, survey;
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
        const tessaloom::InstallationSurvey walked =
            tessaloom::SurveyInstallation(platform, source);
        survey.push_back(MillisecondsSince(start));

        // Every check before the copy, its walk of the installation included.
        start = std::chrono::steady_clock::now();
        tessaloom::CopyCheck checked = tessaloom::CheckBeforeCopy(platform, source, copy, kWritten);
        checks.push_back(MillisecondsSince(start));
        const tessaloom::InstallationSurvey& surveyed = checked.survey;
        if (checked.refusal.Refused() || SurveyedBytes(surveyed) != bytes ||
            SurveyedBytes(walked) != bytes) {
            std::fprintf(stderr, "CheckBeforeCopy refuses or finds another size: %s\n",
                         checked.refusal.text.c_str());
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
            "run %u: shell copy %.0f ms, survey %.1f ms, checks %.1f ms, CopyInstallation %.0f "
            "ms, CopyIsComplete %.1f ms\n",
            run, raw.back(), survey.back(), checks.back(), copied.back(), check.back());
        std::fflush(stdout);
    }

    const double copyMs = Median(copied);
    std::printf("median of %u runs:\n", settings.runs);
    std::printf("  shell copy alone         %10.1f ms\n", Median(raw));
    std::printf("  CopyInstallation (copy)  %10.1f ms\n", copyMs);
    std::printf("  SurveyInstallation       %10.1f ms\n", Median(survey));
    std::printf("  CheckBeforeCopy (checks) %10.1f ms   (the walk included)\n", Median(checks));
    std::printf("  CopyIsComplete (check)   %10.1f ms\n", Median(check));
    PrintShares("copy", copyMs, Median(checks), Median(check));
    PrintShares("shell copy", Median(raw), Median(checks), Median(check));
    return 0;
}

// SurveyInstallation and the baseline walk in turns, each first every other run, after one
// walk that warms the caches.
int WalkMode(tessaloom::Platform& platform, const Settings& settings, const std::string& source,
             unsigned long long bytes) {
    if (baseline::SurveyInstallation(source).bytes != bytes) {
        std::fprintf(stderr, "the baseline walk finds another size\n");
        return 1;
    }
    std::vector<double> before, now;
    for (unsigned run = 1; run <= settings.runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = std::chrono::steady_clock::now();
            if ((run + turn) % 2 == 0) {
                const baseline::InstallationSurvey surveyed = baseline::SurveyInstallation(source);
                before.push_back(MillisecondsSince(start));
                if (surveyed.bytes != bytes) return 1;
            } else {
                const tessaloom::InstallationSurvey surveyed =
                    tessaloom::SurveyInstallation(platform, source);
                now.push_back(MillisecondsSince(start));
                if (SurveyedBytes(surveyed) != bytes) {
                    std::fprintf(stderr, "SurveyInstallation finds another size\n");
                    return 1;
                }
            }
        }
        std::printf("run %u: baseline walk %.1f ms, SurveyInstallation %.1f ms\n", run,
                    before.back(), now.back());
        std::fflush(stdout);
    }
    const auto fastest = [](const std::vector<double>& values) {
        return *std::min_element(values.begin(), values.end());
    };
    // Other processes slow a walk down, never speed it up: the fastest runs and the ratios
    // within a run (both walks back to back) tell more than the medians on a busy machine.
    std::vector<double> ratios;
    for (std::size_t i = 0; i < now.size(); ++i) ratios.push_back(now[i] / before[i]);
    std::printf("%u runs:                      median     fastest\n", settings.runs);
    std::printf("  baseline walk            %10.1f ms %8.1f ms\n", Median(before), fastest(before));
    std::printf("  SurveyInstallation       %10.1f ms %8.1f ms\n", Median(now), fastest(now));
    std::printf("  SurveyInstallation / baseline %8.3f %11.3f   (median within a run %.3f)\n",
                Median(now) / Median(before), fastest(now) / fastest(before), Median(ratios));
    return 0;
}

// The checks before a merge into an existing copy (the same tree made again), the merge into
// it and the check after it.
int MergeMode(tessaloom::Platform& platform, const Settings& settings, const std::string& source,
              unsigned long long bytes) {
    const std::string copy = Join(settings.work, "existing");
    unsigned long long copyBytes = 0;
    if (!MakeTree(copy, settings.files, settings.megabytes, copyBytes)) {
        std::fprintf(stderr, "cannot make the existing copy\n");
        return 1;
    }
    std::vector<double> merged, checks, check;
    for (unsigned run = 1; run <= settings.runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        tessaloom::CopyCheck checked = tessaloom::CheckBeforeCopy(platform, source, copy, kWritten);
        checks.push_back(MillisecondsSince(start));
        if (checked.refusal.Refused() || SurveyedBytes(checked.survey) != bytes) {
            std::fprintf(stderr, "CheckBeforeCopy refuses the existing copy: %s\n",
                         checked.refusal.text.c_str());
            return 1;
        }
        // What the merge's own check compares kept files with, and the check itself.
        const auto kept =
            tessaloom::FileSizes(tessaloom::SurveyExistingCopy(platform, checked.survey, copy, {}));

        tessaloom::CopyResult result;
        {
            YesToAll answerer;
            start = std::chrono::steady_clock::now();
            result = tessaloom::CopyInstallation(platform, nullptr, source, copy, checked.survey);
            merged.push_back(MillisecondsSince(start));
        }
        if (result.code != 0 || result.aborted) {
            std::fprintf(stderr, "the merge failed: code %d\n", result.code);
            return 1;
        }
        start = std::chrono::steady_clock::now();
        const bool complete = tessaloom::CopyIsComplete(platform, checked.survey, copy, kept);
        check.push_back(MillisecondsSince(start));
        if (!complete) {
            std::fprintf(stderr, "CopyIsComplete refuses the merge\n");
            return 1;
        }
        std::printf("run %u: checks %.1f ms (%zu files), merge %.0f ms, CopyIsComplete %.1f ms\n",
                    run, checks.back(), kept.size(), merged.back(), check.back());
        std::fflush(stdout);
    }
    std::printf("median of %u runs:\n", settings.runs);
    std::printf("  CopyInstallation (merge) %10.1f ms\n", Median(merged));
    std::printf("  CheckBeforeCopy (checks) %10.1f ms   (the walk included)\n", Median(checks));
    std::printf("  CopyIsComplete (check)   %10.1f ms\n", Median(check));
    PrintShares("merge", Median(merged), Median(checks), Median(check));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    settings.work = args[0];
    std::size_t next = 1;
    if (next < args.size() && args[next].rfind("--", 0) != 0) settings.mode = args[next++];
    if (settings.mode != "copy" && settings.mode != "walk" && settings.mode != "merge") {
        return Usage();
    }
    for (std::size_t i = next; i < args.size(); i += 2) {
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
    if (settings.files == 0) {
        settings.files = settings.mode == "walk" ? 100000 : settings.mode == "merge" ? 20000 : 3000;
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
    if (settings.mode == "walk") return WalkMode(platform, settings, source, bytes);
    if (settings.mode == "merge") return MergeMode(platform, settings, source, bytes);
    return CopyMode(platform, settings, source, bytes);
}
