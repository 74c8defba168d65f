#include "host/startup_state.h"

#include <shlwapi.h>

#include "registry/device_detection.h"
#include "registry/wow64.h"

namespace {

// Enables one privilege on `token`; whether the token holds it is not examined.
bool EnablePrivilege(HANDLE token, const wchar_t* name)
{
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

}  // namespace

WindowsVersionFlags ClassifyWindowsVersion(DWORD major, DWORD minor)
{
    WindowsVersionFlags flags;
    flags.isWindowsXp = (major == 5 && minor == 1) ? TRUE : FALSE;
    flags.isWindows7OrLater = (major >= 7 || (major == 6 && minor >= 1)) ? TRUE : FALSE;
    return flags;
}

void DetectPlatform(ServiceState* state)
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);  // a failure leaves 0.0: neither flag
    state->isWow64 = IsWow64();
    state->keyFamily = DetectKeyFamily();
    const WindowsVersionFlags flags = ClassifyWindowsVersion(version.dwMajorVersion, version.dwMinorVersion);
    state->isWindowsXp = flags.isWindowsXp;
    state->isWindows7OrLater = flags.isWindows7OrLater;
}

bool FindProgramDirectory(wchar_t (&dir)[MAX_PATH])
{
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return false;
    wchar_t* lastBackslash = StrRChrW(path, nullptr, L'\\');
    if (lastBackslash == nullptr) return false;
    *lastBackslash = L'\0';
    const DWORD length = GetShortPathNameW(path, dir, MAX_PATH);
    return length != 0 && length < MAX_PATH;
}

bool CreatePrimaryToken(UniqueKernelHandle* primaryToken)
{
    UniqueKernelHandle processToken;
    if (!OpenProcessToken(GetCurrentProcess(), kServiceProcessTokenAccess, processToken.Put())) return false;
    if (!EnablePrivilege(processToken.Get(), SE_TCB_NAME)) return false;
    if (!DuplicateTokenEx(processToken.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                          primaryToken->Put())) {
        return false;
    }
    // After the copy: the primary token carries SeTcbPrivilege enabled, but not this one.
    return EnablePrivilege(processToken.Get(), SE_TAKE_OWNERSHIP_NAME);
}
