// Owners of Win32 handles that release them when they go out of scope: kernel objects
// (files, processes), find handles, WinINet handles and memory in another process.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include <utility>

namespace tessaloom {

// Owns a handle that Close releases. Failed calls give null or INVALID_HANDLE_VALUE, which are
// never released.
template <class T, class Close>
class Scoped {
public:
    explicit Scoped(T value = nullptr) : m_value(value) {}
    ~Scoped() { reset(); }
    Scoped(Scoped&& other) noexcept : m_value(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    bool valid() const { return m_value != nullptr && m_value != INVALID_HANDLE_VALUE; }
    T get() const { return m_value; }
    T release() { return std::exchange(m_value, nullptr); }
    void reset(T value = nullptr) {
        if (valid()) Close()(m_value);
        m_value = value;
    }
    // Releases it now; false when the release failed (GetLastError tells why).
    bool close() {
        const bool closed = !valid() || Close()(m_value);
        m_value = nullptr;
        return closed;
    }

private:
    T m_value;
};

struct CloseKernelHandle {
    bool operator()(HANDLE handle) const { return CloseHandle(handle) != FALSE; }
};
struct CloseFindHandle {
    bool operator()(HANDLE handle) const { return FindClose(handle) != FALSE; }
};
struct CloseInternetHandle {
    bool operator()(HINTERNET handle) const { return InternetCloseHandle(handle) != FALSE; }
};
// Files, processes and threads.
using ScopedHandle = Scoped<HANDLE, CloseKernelHandle>;
using ScopedFind = Scoped<HANDLE, CloseFindHandle>;
using ScopedInternet = Scoped<HINTERNET, CloseInternetHandle>;

// Memory committed in another process, with the handle of that process.
class ScopedRemoteMemory {
public:
    ScopedRemoteMemory(ScopedHandle process, SIZE_T size)
        : m_process(std::move(process)),
          m_address(m_process.valid() ? VirtualAllocEx(m_process.get(), nullptr, size,
                                                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                                      : nullptr) {}
    ~ScopedRemoteMemory() {
        if (m_address != nullptr) VirtualFreeEx(m_process.get(), m_address, 0, MEM_RELEASE);
    }
    ScopedRemoteMemory(const ScopedRemoteMemory&) = delete;
    ScopedRemoteMemory& operator=(const ScopedRemoteMemory&) = delete;

    bool valid() const { return m_address != nullptr; }
    HANDLE process() const { return m_process.get(); }
    void* address() const { return m_address; }

private:
    ScopedHandle m_process;
    void* m_address;
};

}  // namespace tessaloom
