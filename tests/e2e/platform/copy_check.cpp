// Drives the Win32 layer's file operations with the portable walk and copy check
// (SurveyInstallation, CopyInstallation, SurveyExistingCopy, CopyIsComplete) for the end-to-end
// tests, run under Wine by copy_check.sh. Exits 0 when the outcome matches the expectation
// given, 1 when not, 2 on bad usage. Arguments are taken as the system gives them, in UTF-16.
//
//   make-tree DIR [--big-mb N] [--files N]   the fixture tree (hidden, read-only, system,
//                                            names beyond the system's code page...)
//   check-tree DIR                           the fixture's entries lie directly in DIR
//   copy SRC DST ok|fail|aborted [--answer yesall|yes|no|cancel] [--lock FILE]
//   verify SRC DST ok|fail [--keep-existing]
//   can-create DIR yes|no                    CanCreateFileIn and ProbeNewFolder, which must
//                                            leave nothing behind
//   replace FILE SIZE ok|fail|taken          SIZE bytes written to the new file FILE~new and
//                                            moved over FILE; removed when written in part
//   list-ids DIR                             entries (but links) listed with their identities
//   space DIR MAX-FREE                       QueryVolumeSpace: at most MAX-FREE bytes free
//   path-forms                               the long form of paths past the limit, which
//                                            Wine does not need but Windows does
#include "platform/win32/Win32Platform.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "installation/Checks.h"
#include "installation/Destination.h"
#include "installation/InstallationCopy.h"
#include "installation/InstallationSurvey.h"
#include "platform/win32/Files.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Text.h"

using tessaloom::CopyResult;
using tessaloom::InstallationSurvey;
using tessaloom::ScopedHandle;
using tessaloom::Utf16FromUtf8;
using tessaloom::Utf8FromUtf16;

namespace {

struct FixtureFile {
    const char* path;  // UTF-8
    DWORD size;
    DWORD attributes;  // checked in the copy too
};

// "表" and "ソ" end in the byte 0x5C ('\') in code page 932; "😀" is a surrogate pair.
const FixtureFile kFixtureFiles[] = {
    {"version.id", 8, FILE_ATTRIBUTE_NORMAL},
    {"cd_image\\data\\launcher\\QuorvaneLauncher.url", 120, FILE_ATTRIBUTE_NORMAL},
    {"cd_image\\data\\patcher\\QuorvanePatcher.url", 97, FILE_ATTRIBUTE_NORMAL},
    {"cd_image\\data\\patcher\\blob.bin", 65539, FILE_ATTRIBUTE_NORMAL},
    {"hidden.dat", 33, FILE_ATTRIBUTE_HIDDEN},
    {"system.dat", 17, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {"readonly.txt", 21, FILE_ATTRIBUTE_READONLY},
    {"Hidden Folder\\inner.txt", 5, FILE_ATTRIBUTE_NORMAL},
    {"\xE8\xA1\xA8\\\xE3\x82\xBD.dat", 11, FILE_ATTRIBUTE_NORMAL},  // 表\ソ.dat
    {"\xC3\xBC-\xF0\x9F\x98\x80.txt", 13, FILE_ATTRIBUTE_NORMAL},   // ü-😀.txt
};
const char* const kFixtureFolders[] = {"cd_image",
                                       "cd_image\\data",
                                       "cd_image\\data\\launcher",
                                       "cd_image\\data\\patcher",
                                       "Hidden Folder",
                                       "empty",
                                       "\xE8\xA1\xA8"};
const DWORD kCheckedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

std::wstring Wide(const std::string& path) { return Utf16FromUtf8(path); }
std::string Join(const std::string& a, const std::string& b) { return a + "\\" + b; }

bool WriteFileOfSize(const std::string& path, unsigned long long size) {
    const ScopedHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    std::vector<char> block(1 << 16);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
    bool ok = true;
    while (ok && size > 0) {
        const DWORD chunk = static_cast<DWORD>(size < block.size() ? size : block.size());
        DWORD written = 0;
        ok = WriteFile(file.get(), block.data(), chunk, &written, nullptr) && written == chunk;
        size -= chunk;
    }
    return ok;
}

bool MakeFolder(const std::string& path) { return CreateDirectoryW(Wide(path).c_str(), nullptr); }

int MakeTree(const std::string& root, unsigned bigMb, unsigned files) {
    bool ok = MakeFolder(root);
    for (const char* folder : kFixtureFolders) ok = ok && MakeFolder(Join(root, folder));
    ok = ok && SetFileAttributesW(Wide(Join(root, "Hidden Folder")).c_str(), FILE_ATTRIBUTE_HIDDEN);
    for (const FixtureFile& file : kFixtureFiles) {
        const std::string path = Join(root, file.path);
        ok = ok && WriteFileOfSize(path, file.size) &&
             SetFileAttributesW(Wide(path).c_str(), file.attributes);
    }
    if (bigMb > 0) ok = ok && WriteFileOfSize(Join(root, "big.bin"), bigMb * 1048576ull);
    // Many small files over a few folders, for timing the check against the copy.
    for (unsigned i = 0; ok && i < files; ++i) {
        const std::string folder = Join(root, "many" + std::to_string(i / 100));
        if (i % 100 == 0) ok = MakeFolder(folder);
        ok = ok && WriteFileOfSize(Join(folder, "f" + std::to_string(i) + ".dat"), 1000 + i % 4096);
    }
    std::printf("make-tree %s\n", ok ? "done" : "FAILED");
    return ok ? 0 : 1;
}

int CheckTree(const std::string& root) {
    int missing = 0;
    for (const char* folder : kFixtureFolders) {
        const DWORD attributes = GetFileAttributesW(Wide(Join(root, folder)).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::printf("missing folder %s\n", folder);
            ++missing;
        }
    }
    for (const FixtureFile& file : kFixtureFiles) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(Wide(Join(root, file.path)).c_str(), GetFileExInfoStandard,
                                  &data)) {
            std::printf("missing file %s\n", file.path);
            ++missing;
        } else if (data.nFileSizeLow != file.size || data.nFileSizeHigh != 0 ||
                   (data.dwFileAttributes & kCheckedAttributes) !=
                       (file.attributes & kCheckedAttributes)) {
            std::printf("wrong file %s: size %lu attributes 0x%lx\n", file.path, data.nFileSizeLow,
                        data.dwFileAttributes);
            ++missing;
        }
    }
    std::printf("check-tree %s\n", missing == 0 ? "ok" : "FAILED");
    return missing == 0 ? 0 : 1;
}

// Answers the shell's confirmation dialogs of this process from a second thread.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::string mode) : m_mode(std::move(mode)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~DialogAnswerer() {
        m_stop = true;
        m_thread.join();
    }
    int Answered() const { return m_answered; }
    bool Unexpected() const { return m_unexpected; }

private:
    struct Search {
        const wchar_t* label;
        HWND button = nullptr;
    };

    static std::wstring Label(HWND window) {
        wchar_t text[128] = {};
        GetWindowTextW(window, text, 128);
        std::wstring label;
        for (const wchar_t* c = text; *c; ++c)
            if (*c != L'&') label += *c;
        return label;
    }

    static BOOL CALLBACK FindButton(HWND child, LPARAM param) {
        Search& search = *reinterpret_cast<Search*>(param);
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child) &&
            lstrcmpiW(Label(child).c_str(), search.label) == 0)
            search.button = child;
        return search.button == nullptr;
    }

    static HWND Button(HWND dialog, const wchar_t* label) {
        Search search{label};
        EnumChildWindows(dialog, FindButton, reinterpret_cast<LPARAM>(&search));
        return search.button;
    }

    static BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t cls[16] = {};
        GetClassNameW(window, cls, 16);
        if (process == GetCurrentProcessId() && std::wcscmp(cls, L"#32770") == 0 &&
            IsWindowVisible(window) && Button(window, L"Yes")) {
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        }
        return TRUE;
    }

    void Run() {
        while (!m_stop) {
            HWND dialog = nullptr;
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog) Answer(dialog);
            Sleep(50);
        }
    }

    void Answer(HWND dialog) {
        HWND button = nullptr;
        if (m_mode == "yesall") button = Button(dialog, L"Yes to all");
        if (!button && (m_mode == "yesall" || m_mode == "yes")) button = Button(dialog, L"Yes");
        if (m_mode == "no") button = Button(dialog, L"No");
        if (!button) {  // not expected: cancel rather than hang
            m_unexpected = m_mode != "cancel";
            button = Button(dialog, L"Cancel");
            if (!button) button = Button(dialog, L"No");
        }
        const int id = GetDlgCtrlID(button);
        std::printf("dialog \"%s\": \"%s\" (id %d)\n", Utf8FromUtf16(Label(dialog)).c_str(),
                    Utf8FromUtf16(Label(button)).c_str(), id);
        std::fflush(stdout);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        ++m_answered;
        for (int i = 0; i < 100 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(20);
    }

    std::string m_mode;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_answered{0};
    std::atomic<bool> m_unexpected{false};
    std::thread m_thread;
};

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The survey of `source`; false, with the fault printed, when the walk stopped.
bool Survey(tessaloom::Platform& platform, const std::string& source, InstallationSurvey& survey) {
    const auto start = std::chrono::steady_clock::now();
    survey = tessaloom::SurveyInstallation(platform, source);
    std::printf("survey: %zu folders, deepest %zu, survey_ms=%.1f\n", survey.folders.size(),
                survey.deepest, MillisecondsSince(start));
    if (survey.fault == InstallationSurvey::Fault::kLoop) std::printf("survey: loop\n");
    if (survey.fault == InstallationSurvey::Fault::kUnreadable) {
        std::printf("survey: cannot read %s: %s\n", survey.unreadable.c_str(),
                    survey.reason.c_str());
    }
    return survey.fault == InstallationSurvey::Fault::kNone;
}

int Copy(tessaloom::Platform& platform, const std::string& source, const std::string& destination,
         const std::string& expect, const std::string& answer, const std::string& lock) {
    InstallationSurvey survey;
    if (!Survey(platform, source, survey)) return 1;
    CopyResult result;
    double copyMs = 0;
    int answered = 0;
    bool unexpected = false;
    {
        // Held open without sharing for the copy only.
        const ScopedHandle locked(lock.empty() ? nullptr
                                               : CreateFileW(Wide(lock).c_str(), GENERIC_READ, 0,
                                                             nullptr, OPEN_EXISTING, 0, nullptr));
        if (!lock.empty() && !locked.valid()) {
            std::printf("cannot lock %s\n", lock.c_str());
            return 1;
        }
        DialogAnswerer answerer(answer);
        const auto start = std::chrono::steady_clock::now();
        result = tessaloom::CopyInstallation(platform, nullptr, source, destination, survey);
        copyMs = MillisecondsSince(start);
        answered = answerer.Answered();
        unexpected = answerer.Unexpected();
    }
    const auto start = std::chrono::steady_clock::now();
    const bool complete = tessaloom::CopyIsComplete(platform, survey, destination, {});
    const double checkMs = MillisecondsSince(start);
    std::printf("code=%d aborted=%d dialogs=%d copy_ms=%.1f check_ms=%.1f (%s)\n", result.code,
                result.aborted ? 1 : 0, answered, copyMs, checkMs,
                complete ? "complete" : "not complete");

    const std::string outcome = result.aborted ? "aborted" : result.code == 0 ? "ok" : "fail";
    const bool dialogsAsExpected = !unexpected && (answer == "none" || answered > 0);
    if (!dialogsAsExpected) std::printf("confirmation dialogs not as expected\n");
    return outcome == expect && dialogsAsExpected ? 0 : 1;
}

int Verify(tessaloom::Platform& platform, const std::string& source, const std::string& destination,
           const std::string& expect, bool keepExisting) {
    InstallationSurvey survey;
    if (!Survey(platform, source, survey)) return 1;
    const auto start = std::chrono::steady_clock::now();
    const auto existing =
        keepExisting
            ? tessaloom::FileSizes(tessaloom::SurveyExistingCopy(platform, survey, destination, {}))
            : std::map<std::string, std::uint64_t>();
    const bool ok = tessaloom::CopyIsComplete(platform, survey, destination, existing);
    std::printf("verify=%s existing=%zu verify_ms=%.1f\n", ok ? "ok" : "fail", existing.size(),
                MillisecondsSince(start));
    return (ok ? "ok" : "fail") == expect ? 0 : 1;
}

// The number of entries of `folder`, -1 when it cannot be listed.
int CountEntries(tessaloom::Platform& platform, const std::string& folder) {
    std::vector<tessaloom::FolderEntry> entries;
    std::string error;
    return platform.ListFolder(folder, entries, error) ? static_cast<int>(entries.size()) : -1;
}

int CanCreate(tessaloom::Platform& platform, const std::string& folder, const std::string& expect) {
    const int before = CountEntries(platform, folder);
    std::string error, folderError;
    const bool ok = platform.CanCreateFileIn(folder, error);
    const tessaloom::Refusal probe = tessaloom::ProbeNewFolder(platform, folder);
    const bool folderOk = !probe.Refused();
    folderError = probe.text;
    const int after = CountEntries(platform, folder);
    std::printf("can-create=%s (%s) folder=%s (%s) entries %d then %d\n", ok ? "yes" : "no",
                error.c_str(), folderOk ? "yes" : "no", folderError.c_str(), before, after);
    // A refusal says why; either way nothing stays.
    return (ok ? "yes" : "no") == expect && (folderOk ? "yes" : "no") == expect &&
                   (ok || !error.empty()) && (folderOk || !folderError.empty()) && before >= 0 &&
                   after == before
               ? 0
               : 1;
}

// As a connection file is written: a new file beside the name, moved over it once whole.
int Replace(tessaloom::Platform& platform, const std::string& file, std::size_t size,
            const std::string& expect) {
    const std::string fresh = file + "~new";
    const std::vector<char> data(size, 'n');
    std::string error;
    const tessaloom::WriteResult written =
        platform.WriteNewFile(fresh, data.data(), data.size(), error);
    std::string outcome = written == tessaloom::WriteResult::kNameTaken ? "taken" : "fail";
    if (written == tessaloom::WriteResult::kWritten && platform.MoveOver(fresh, file, error)) {
        outcome = "ok";
    } else if (written != tessaloom::WriteResult::kNameTaken) {
        platform.RemoveFile(fresh);
    }
    std::printf("replace=%s (%s)\n", outcome.c_str(), error.c_str());
    return outcome == expect ? 0 : 1;
}

int ListIds(tessaloom::Platform& platform, const std::string& folder) {
    std::vector<tessaloom::FolderEntry> entries;
    std::string error;
    int wrong = platform.ListFolder(folder, entries, error) && !entries.empty() ? 0 : 1;
    for (const tessaloom::FolderEntry& entry : entries) {
        tessaloom::FileId id;
        const bool known = platform.IdentifyFile(Join(folder, entry.name), id) && id.Known();
        std::printf("%s: listed %llx:%llx, identity %llx:%llx\n", entry.name.c_str(),
                    static_cast<unsigned long long>(entry.idHigh),
                    static_cast<unsigned long long>(entry.idLow),
                    static_cast<unsigned long long>(id.high),
                    static_cast<unsigned long long>(id.low));
        // A link's own ID is not its target's.
        if (!entry.link && (!known || id.high != entry.idHigh || id.low != entry.idLow)) ++wrong;
    }
    std::printf("list-ids %s\n", wrong == 0 ? "ok" : "FAILED");
    return wrong == 0 ? 0 : 1;
}

int Space(tessaloom::Platform& platform, const std::string& folder, unsigned long long maxFree) {
    tessaloom::VolumeSpace space;
    const bool ok = platform.QueryVolumeSpace(folder, space);
    std::printf("space: %s free=%llu cluster=%llu\n", ok ? "ok" : "FAILED",
                static_cast<unsigned long long>(space.free),
                static_cast<unsigned long long>(space.cluster));
    const bool clusterPlausible =
        space.cluster >= 512 && (space.cluster & (space.cluster - 1)) == 0;
    return ok && space.free <= maxFree && clusterPlausible ? 0 : 1;
}

int PathForms() {
    const std::string name(255, 'x');  // the longest name; with "C:\\", past MAX_PATH
    const std::wstring wideName(name.begin(), name.end());
    struct Case {
        std::string path;
        std::wstring expected;
    };
    const Case toSystem[] = {
        {"C:\\short\\path", L"C:\\short\\path"},  // ordinary paths stay as they are
        {"C:\\" + name + "\\data", L"\\\\?\\C:\\" + wideName + L"\\data"},
        {"C:/" + name + "//data/", L"\\\\?\\C:\\" + wideName + L"\\data\\"},
        {"\\\\host\\share\\" + name, L"\\\\?\\UNC\\host\\share\\" + wideName},
        {"\\\\?\\C:\\" + name + "\\a", L"\\\\?\\C:\\" + wideName + L"\\a"},  // already long
        {"relative\\" + name + "\\a", L"relative\\" + wideName + L"\\a"},    // no long form
        {"\xE8\xA1\xA8", L"\x8868"},
    };
    const Case toOrdinary[] = {
        {"C:\\data", L"\\\\?\\C:\\data"},
        {"\\\\host\\share\\data", L"\\\\?\\UNC\\host\\share\\data"},
        {"\\\\?\\Volume{0}\\data", L"\\\\?\\Volume{0}\\data"},  // no other form
        {"D:\\", L"D:\\"},
    };
    int wrong = 0;
    for (const Case& test : toSystem) {
        if (tessaloom::SystemPath(test.path) != test.expected) {
            std::printf("SystemPath(%.40s...) is %.60s...\n", test.path.c_str(),
                        Utf8FromUtf16(tessaloom::SystemPath(test.path)).c_str());
            ++wrong;
        }
    }
    for (const Case& test : toOrdinary) {
        if (tessaloom::OrdinaryPath(test.expected) != test.path) {
            std::printf("OrdinaryPath(%s) is %s\n", Utf8FromUtf16(test.expected).c_str(),
                        tessaloom::OrdinaryPath(test.expected).c_str());
            ++wrong;
        }
    }
    std::printf("path-forms %s\n", wrong == 0 ? "ok" : "FAILED");
    return wrong == 0 ? 0 : 1;
}

struct FreeLocal {
    void operator()(wchar_t** arguments) const { LocalFree(arguments); }
};

}  // namespace

int main() {
    int count = 0;
    const std::unique_ptr<wchar_t*, FreeLocal> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) args.push_back(Utf8FromUtf16(wide.get()[i]));
    auto option = [&args](const char* name, const char* fallback) {
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == name) return args[i + 1];
        return std::string(fallback);
    };
    const std::string command = args.empty() ? "" : args[0];
    if (command == "make-tree" && args.size() >= 2)
        return MakeTree(args[1], std::stoul(option("--big-mb", "0")),
                        std::stoul(option("--files", "0")));
    if (command == "check-tree" && args.size() >= 2) return CheckTree(args[1]);
    if (command == "path-forms") return PathForms();

    tessaloom::Win32Platform platform(GetModuleHandleW(nullptr));
    if (command == "copy" && args.size() >= 4)
        return Copy(platform, args[1], args[2], args[3], option("--answer", "none"),
                    option("--lock", ""));
    if (command == "verify" && args.size() >= 4)
        return Verify(platform, args[1], args[2], args[3],
                      args.size() > 4 && args[4] == "--keep-existing");
    if (command == "can-create" && args.size() >= 3) return CanCreate(platform, args[1], args[2]);
    if (command == "replace" && args.size() >= 4)
        return Replace(platform, args[1], std::stoul(args[2]), args[3]);
    if (command == "list-ids" && args.size() >= 2) return ListIds(platform, args[1]);
    if (command == "space" && args.size() >= 3)
        return Space(platform, args[1], std::stoull(args[2]));
    std::fprintf(stderr, "usage: see the head of copy_check.cpp\n");
    return 2;
}
