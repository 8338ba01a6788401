// The program under test as a process: started, watched and, if a scenario fails while it
// still runs, ended so that nothing outlives the scenario.
#pragma once

#include <string>

#include "Driver.h"
#include "platform/win32/ScopedHandles.h"

namespace e2e {

class AppProcess {
public:
    AppProcess() = default;
    AppProcess(AppProcess&& other) noexcept;
    AppProcess& operator=(AppProcess&& other) noexcept;
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;
    // Terminates the process if it still runs.
    ~AppProcess();

    // Starts `exe` with `arguments` (already quoted as needed) in `workDir`; fails when it
    // cannot be started.
    static AppProcess Start(const std::string& exe, const std::string& arguments,
                            const std::string& workDir);

    DWORD Id() const { return m_id; }
    bool Running() const;
    // True when the process ended within `timeoutMs`.
    bool WaitForExit(DWORD timeoutMs) const;
    // STILL_ACTIVE while running.
    DWORD ExitCode() const;

    // Fails unless the process ends within `timeoutMs` with `expectedCode`; `after` says what
    // should have ended it.
    void ExpectExit(DWORD expectedCode, DWORD timeoutMs, const std::string& after) const;
    // Fails when the process has already ended; `awaited` says what was still expected.
    void CheckRunning(const std::string& awaited) const;
    // The ANSI code page the process runs with (GetACP in the process); fails when it cannot
    // be asked.
    UINT AnsiCodePage() const;

private:
    void TerminateIfRunning();

    tessaloom::ScopedHandle m_process;
    DWORD m_id = 0;
    std::string m_name;
};

}  // namespace e2e
