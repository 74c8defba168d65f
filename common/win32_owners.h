// Owners for what the service obtains besides plain handles: environment blocks, terminal-services
// buffers, loaded user profiles, mapped views, the handles of a created process, and an
// impersonation.
#pragma once

#include <windows.h>
#include <userenv.h>
#include <wtsapi32.h>

#include "unique_handle.h"

struct EnvironmentBlockTraits {
    using Type = LPVOID;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DestroyEnvironmentBlock(h); }
};
using UniqueEnvironmentBlock = UniqueHandle<EnvironmentBlockTraits>;

struct WtsMemoryTraits {
    using Type = LPWSTR;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { WTSFreeMemory(h); }
};
using UniqueWtsMemory = UniqueHandle<WtsMemoryTraits>;

// A user profile loaded with LoadUserProfileW: unloading needs the token it was loaded for as
// well as the profile's handle. The token is not owned; keep its owner alive longer (declare it
// first). Take ownership with Reset({token, info.hProfile}) once the load succeeded.
struct LoadedProfile {
    HANDLE token = nullptr;
    HANDLE profile = nullptr;
    bool operator==(const LoadedProfile&) const = default;
};
struct LoadedProfileTraits {
    using Type = LoadedProfile;
    static Type Invalid() noexcept { return {}; }
    static void Close(Type h) noexcept { UnloadUserProfile(h.token, h.profile); }
};
using UniqueLoadedProfile = UniqueHandle<LoadedProfileTraits>;

struct MappedViewTraits {
    using Type = LPVOID;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { UnmapViewOfFile(h); }
};
using UniqueMappedView = UniqueHandle<MappedViewTraits>;

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;  // service control manager and services

// The two handles CreateProcess* hands back. Pass Receive() to the call and Adopt() once it
// succeeded; the thread handle is closed before the process handle.
class ProcessHandles {
public:
    PROCESS_INFORMATION* Receive() noexcept { return &received_; }
    void Adopt() noexcept
    {
        process_.Reset(received_.hProcess);
        thread_.Reset(received_.hThread);
    }
    HANDLE Thread() const noexcept { return thread_.Get(); }

private:
    PROCESS_INFORMATION received_{};
    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
};

// Impersonates `token` on the calling thread for the owner's lifetime. Declare it after the token
// owner, so that the impersonation is reverted before the token is closed.
class ScopedImpersonation {
public:
    explicit ScopedImpersonation(HANDLE token) noexcept : active_(ImpersonateLoggedOnUser(token) != FALSE) {}
    ~ScopedImpersonation()
    {
        if (!active_) return;
        const DWORD lastError = GetLastError();
        RevertToSelf();
        SetLastError(lastError);
    }
    ScopedImpersonation(const ScopedImpersonation&) = delete;
    ScopedImpersonation& operator=(const ScopedImpersonation&) = delete;
    bool Active() const noexcept { return active_; }

private:
    bool active_;
};
