// Drives ShellCopyFolder and VerifyCopy for the end-to-end tests (run under Wine by
// copy_check.sh). Exits 0 when the outcome matches the expectation given, 1 when not, 2 on
// bad usage.
//
//   make-tree DIR [--big-mb N] [--files N]   the fixture tree (hidden, read-only, system...)
//   check-tree DIR                           the fixture's entries lie directly in DIR
//   copy SRC DST ok|fail|aborted [--answer yesall|yes|no|cancel] [--lock FILE]
//   verify SRC DST ok|fail [--keep-existing]
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/ScopedHandles.h"
#include "platform/win32/ShellCopy.h"

using tessaloom::CopyResult;
using tessaloom::ScopedHandle;

namespace {

struct FixtureFile {
    const char* path;
    DWORD size;
    DWORD attributes;  // checked in the copy too
};

const FixtureFile kFixtureFiles[] = {
    {"version.id", 8, FILE_ATTRIBUTE_NORMAL},
    {"cd_image\\data\\launcher\\QuorvaneLauncher.url", 120, FILE_ATTRIBUTE_NORMAL},
    {"cd_image\\data\\patcher\\QuorvanePatcher.url", 97, FILE_ATTRIBUTE_NORMAL},
    {"cd_image\\data\\patcher\\blob.bin", 65539, FILE_ATTRIBUTE_NORMAL},
    {"hidden.dat", 33, FILE_ATTRIBUTE_HIDDEN},
    {"system.dat", 17, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {"readonly.txt", 21, FILE_ATTRIBUTE_READONLY},
    {"Hidden Folder\\inner.txt", 5, FILE_ATTRIBUTE_NORMAL},
};
const char* const kFixtureFolders[] = {
    "cd_image",      "cd_image\\data", "cd_image\\data\\launcher", "cd_image\\data\\patcher",
    "Hidden Folder", "empty"};
const DWORD kCheckedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

std::string Join(const std::string& a, const std::string& b) { return a + "\\" + b; }

bool WriteFileOfSize(const std::string& path, unsigned long long size) {
    const ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
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

int MakeTree(const std::string& root, unsigned bigMb, unsigned files) {
    bool ok = CreateDirectoryA(root.c_str(), nullptr) != FALSE;
    for (const char* folder : kFixtureFolders)
        ok = ok && CreateDirectoryA(Join(root, folder).c_str(), nullptr);
    ok = ok && SetFileAttributesA(Join(root, "Hidden Folder").c_str(), FILE_ATTRIBUTE_HIDDEN);
    for (const FixtureFile& file : kFixtureFiles) {
        const std::string path = Join(root, file.path);
        ok = ok && WriteFileOfSize(path, file.size) &&
             SetFileAttributesA(path.c_str(), file.attributes);
    }
    if (bigMb > 0) ok = ok && WriteFileOfSize(Join(root, "big.bin"), bigMb * 1048576ull);
    // Many small files over a few folders, for timing the check against the copy.
    for (unsigned i = 0; ok && i < files; ++i) {
        const std::string folder = Join(root, "many" + std::to_string(i / 100));
        if (i % 100 == 0) ok = CreateDirectoryA(folder.c_str(), nullptr) != FALSE;
        ok = ok && WriteFileOfSize(Join(folder, "f" + std::to_string(i) + ".dat"), 1000 + i % 4096);
    }
    std::printf("make-tree %s\n", ok ? "done" : "FAILED");
    return ok ? 0 : 1;
}

int CheckTree(const std::string& root) {
    int missing = 0;
    for (const char* folder : kFixtureFolders) {
        const DWORD attributes = GetFileAttributesA(Join(root, folder).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::printf("missing folder %s\n", folder);
            ++missing;
        }
    }
    for (const FixtureFile& file : kFixtureFiles) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(Join(root, file.path).c_str(), GetFileExInfoStandard, &data)) {
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
        const char* label;
        HWND button = nullptr;
    };

    static std::string Label(HWND window) {
        char text[128] = {};
        GetWindowTextA(window, text, sizeof text);
        std::string label;
        for (const char* c = text; *c; ++c)
            if (*c != '&') label += *c;
        return label;
    }

    static BOOL CALLBACK FindButton(HWND child, LPARAM param) {
        Search& search = *reinterpret_cast<Search*>(param);
        char cls[32] = {};
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Button") == 0 && IsWindowVisible(child) &&
            lstrcmpiA(Label(child).c_str(), search.label) == 0)
            search.button = child;
        return search.button == nullptr;
    }

    static HWND Button(HWND dialog, const char* label) {
        Search search{label};
        EnumChildWindows(dialog, FindButton, reinterpret_cast<LPARAM>(&search));
        return search.button;
    }

    static BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char cls[16] = {};
        GetClassNameA(window, cls, sizeof cls);
        if (process == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0 &&
            IsWindowVisible(window) && Button(window, "Yes")) {
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
        if (m_mode == "yesall") button = Button(dialog, "Yes to all");
        if (!button && (m_mode == "yesall" || m_mode == "yes")) button = Button(dialog, "Yes");
        if (m_mode == "no") button = Button(dialog, "No");
        if (!button) {  // not expected: cancel rather than hang
            m_unexpected = m_mode != "cancel";
            button = Button(dialog, "Cancel");
            if (!button) button = Button(dialog, "No");
        }
        const int id = GetDlgCtrlID(button);
        std::printf("dialog \"%s\": \"%s\" (id %d)\n", Label(dialog).c_str(), Label(button).c_str(),
                    id);
        std::fflush(stdout);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
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

int Copy(const std::string& source, const std::string& destination, const std::string& expect,
         const std::string& answer, const std::string& lock) {
    CopyResult result;
    double copyMs = 0;
    int answered = 0;
    bool unexpected = false;
    {
        // Held open without sharing for the copy only.
        const ScopedHandle locked(lock.empty() ? nullptr
                                               : CreateFileA(lock.c_str(), GENERIC_READ, 0, nullptr,
                                                             OPEN_EXISTING, 0, nullptr));
        if (!lock.empty() && !locked.valid()) {
            std::printf("cannot lock %s\n", lock.c_str());
            return 1;
        }
        DialogAnswerer answerer(answer);
        const auto start = std::chrono::steady_clock::now();
        result = tessaloom::ShellCopyFolder(nullptr, source, destination);
        copyMs = MillisecondsSince(start);
        answered = answerer.Answered();
        unexpected = answerer.Unexpected();
    }
    const auto start = std::chrono::steady_clock::now();
    const bool verified = tessaloom::VerifyCopy(source, destination, {});
    const double verifyMs = MillisecondsSince(start);
    std::printf("code=%d aborted=%d dialogs=%d copy_ms=%.1f verify_ms=%.1f (%s)\n", result.code,
                result.aborted ? 1 : 0, answered, copyMs, verifyMs,
                verified ? "verifies" : "does not verify");

    const std::string outcome = result.aborted ? "aborted" : result.code == 0 ? "ok" : "fail";
    const bool dialogsAsExpected = !unexpected && (answer == "none" || answered > 0);
    if (!dialogsAsExpected) std::printf("confirmation dialogs not as expected\n");
    return outcome == expect && dialogsAsExpected ? 0 : 1;
}

int Verify(const std::string& source, const std::string& destination, const std::string& expect,
           bool keepExisting) {
    const auto start = std::chrono::steady_clock::now();
    const auto existing =
        keepExisting ? tessaloom::ExistingFiles(source, destination) : std::set<std::string>();
    const bool ok = tessaloom::VerifyCopy(source, destination, existing);
    std::printf("verify=%s existing=%zu verify_ms=%.1f\n", ok ? "ok" : "fail", existing.size(),
                MillisecondsSince(start));
    return (ok ? "ok" : "fail") == expect ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
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
    if (command == "copy" && args.size() >= 4)
        return Copy(args[1], args[2], args[3], option("--answer", "none"), option("--lock", ""));
    if (command == "verify" && args.size() >= 4)
        return Verify(args[1], args[2], args[3], args.size() > 4 && args[4] == "--keep-existing");
    std::fprintf(stderr, "usage: see the head of copy_check.cpp\n");
    return 2;
}
