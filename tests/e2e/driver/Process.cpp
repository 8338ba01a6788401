#include "Process.h"

#include <utility>

namespace e2e {

AppProcess::AppProcess(AppProcess&& other) noexcept
    : m_process(std::move(other.m_process)),
      m_id(std::exchange(other.m_id, 0)),
      m_name(std::move(other.m_name)) {}

AppProcess& AppProcess::operator=(AppProcess&& other) noexcept {
    if (this != &other) {
        TerminateIfRunning();
        m_process = std::move(other.m_process);
        m_id = std::exchange(other.m_id, 0);
        m_name = std::move(other.m_name);
    }
    return *this;
}

AppProcess::~AppProcess() { TerminateIfRunning(); }

void AppProcess::TerminateIfRunning() {
    if (!Running()) return;
    Note("terminating " + m_name + " (still running)");
    TerminateProcess(m_process.get(), 255);
    WaitForSingleObject(m_process.get(), 5000);
}

AppProcess AppProcess::Start(const std::string& exe, const std::string& arguments,
                             const std::string& workDir) {
    std::wstring commandLine = L"\"" + Widen(exe) + L"\"";
    if (!arguments.empty()) commandLine += L" " + Widen(arguments);
    std::wstring directory = Widen(workDir);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Wine's process creation now and then fails with an internal error while the previous
    // instance is still being torn down: a few tries, then the failure stands.
    BOOL started = FALSE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) {
            Note("starting " + exe + " again after error " + std::to_string(error));
            Sleep(500);
        }
        started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 directory.empty() ? nullptr : directory.c_str(), &startup, &info);
        error = started ? ERROR_SUCCESS : GetLastError();
        if (!started && error != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
        Fail("cannot start " + exe + " (error " + std::to_string(error) + ")");
    }
    const tessaloom::ScopedHandle thread(info.hThread);

    AppProcess process;
    process.m_process = tessaloom::ScopedHandle(info.hProcess);
    process.m_id = info.dwProcessId;
    std::size_t slash = exe.find_last_of("\\/");
    process.m_name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    Note("started " + process.m_name + " (pid " + std::to_string(process.m_id) + ")");
    return process;
}

bool AppProcess::Running() const {
    return m_process.valid() && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

bool AppProcess::WaitForExit(DWORD timeoutMs) const {
    return !m_process.valid() || WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD AppProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (m_process.valid()) GetExitCodeProcess(m_process.get(), &code);
    return code;
}

void AppProcess::ExpectExit(DWORD expectedCode, DWORD timeoutMs, const std::string& after) const {
    const unsigned long long start = GetTickCount64();
    if (!WaitForExit(timeoutMs)) {
        Fail(m_name + " still runs " + std::to_string(timeoutMs) + " ms after " + after);
    }
    Note(m_name + " ended " + std::to_string(ElapsedMs(start)) + " ms after " + after);
    CheckEqual(static_cast<long long>(ExitCode()), static_cast<long long>(expectedCode),
               "exit code after " + after);
}

void AppProcess::CheckRunning(const std::string& awaited) const {
    if (!Running()) {
        Fail(m_name + " ended with exit code " + std::to_string(ExitCode()) +
             " while waiting for " + awaited);
    }
}

UINT AppProcess::AnsiCodePage() const {
    // GetACP takes nothing and returns what a thread start routine may return: run on a
    // thread of the process, its result is the thread's exit code. The system's DLLs lie at
    // the same address in every process, so the driver's address of it holds there too.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC getAcp = kernel == nullptr ? nullptr : GetProcAddress(kernel, "GetACP");
    if (getAcp == nullptr) Fail("GetACP not found (error " + std::to_string(GetLastError()) + ")");
    const tessaloom::ScopedHandle thread(CreateRemoteThread(
        m_process.get(), nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(getAcp)), nullptr, 0,
        nullptr));
    if (!thread.valid()) {
        Fail("cannot start a thread in " + m_name + " (error " + std::to_string(GetLastError()) +
             ")");
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(thread.get(), kReactTimeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeThread(thread.get(), &code)) {
        Fail("GetACP did not return in " + m_name);
    }
    return code;
}

}  // namespace e2e
