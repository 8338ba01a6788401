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

template <class Traits>
class Scoped {
public:
    using Type = typename Traits::Type;

    explicit Scoped(Type value = Traits::Invalid()) : m_value(value) {}
    ~Scoped() { reset(); }
    Scoped(Scoped&& other) noexcept : m_value(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    bool valid() const { return Traits::Valid(m_value); }
    Type get() const { return m_value; }
    Type release() { return std::exchange(m_value, Traits::Invalid()); }
    void reset(Type value = Traits::Invalid()) {
        if (valid()) Traits::Close(m_value);
        m_value = value;
    }

private:
    Type m_value;
};

// Files, processes, threads: CreateFile fails with INVALID_HANDLE_VALUE, the others with null.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseHandle(handle); }
};
using ScopedHandle = Scoped<KernelHandleTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type handle) { return handle != INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { FindClose(handle); }
};
using ScopedFind = Scoped<FindHandleTraits>;

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type handle) { return handle != nullptr; }
    static void Close(Type handle) { InternetCloseHandle(handle); }
};
using ScopedInternet = Scoped<InternetHandleTraits>;

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
