#include "Process.h"

#include <utility>

namespace e2e {

AppProcess::AppProcess(AppProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      id_(std::exchange(other.id_, 0)),
      name_(std::move(other.name_)) {}

AppProcess& AppProcess::operator=(AppProcess&& other) noexcept {
    if (this != &other) {
        Release();
        process_ = std::exchange(other.process_, nullptr);
        id_ = std::exchange(other.id_, 0);
        name_ = std::move(other.name_);
    }
    return *this;
}

AppProcess::~AppProcess() { Release(); }

void AppProcess::Release() {
    if (process_ == nullptr) return;
    if (Running()) {
        Note("terminating " + name_ + " (still running)");
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
}

AppProcess AppProcess::Start(const std::string& exe, const std::string& arguments,
                             const std::string& workDir) {
    std::wstring commandLine = L"\"" + Widen(exe) + L"\"";
    if (!arguments.empty()) commandLine += L" " + Widen(arguments);
    std::wstring directory = Widen(workDir);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        Fail("cannot start " + exe + " (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(info.hThread);

    AppProcess process;
    process.process_ = info.hProcess;
    process.id_ = info.dwProcessId;
    std::size_t slash = exe.find_last_of("\\/");
    process.name_ = slash == std::string::npos ? exe : exe.substr(slash + 1);
    Note("started " + process.name_ + " (pid " + std::to_string(process.id_) + ")");
    return process;
}

bool AppProcess::Running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool AppProcess::WaitForExit(DWORD timeoutMs) const {
    return process_ == nullptr || WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD AppProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_ != nullptr) GetExitCodeProcess(process_, &code);
    return code;
}

void AppProcess::Terminate() { Release(); }

void AppProcess::ExpectExit(DWORD expectedCode, DWORD timeoutMs, const std::string& after) const {
    const unsigned long long start = GetTickCount64();
    if (!WaitForExit(timeoutMs)) {
        Fail(name_ + " still runs " + std::to_string(timeoutMs) + " ms after " + after);
    }
    Note(name_ + " ended " + std::to_string(ElapsedMs(start)) + " ms after " + after);
    CheckEqual(static_cast<long long>(ExitCode()), static_cast<long long>(expectedCode),
               "exit code after " + after);
}

void AppProcess::CheckRunning(const std::string& awaited) const {
    if (!Running()) {
        Fail(name_ + " ended with exit code " + std::to_string(ExitCode()) + " while waiting for " +
             awaited);
    }
}

}  // namespace e2e
