#include "registry/wow64.h"

#include "proc_address.h"

namespace {
HMODULE Kernel32()
{
    return GetModuleHandleW(L"kernel32");
}
}  // namespace

BOOL IsWow64()
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = GetProcAs<IsWow64ProcessFn>(Kernel32(), "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process != nullptr) isWow64Process(GetCurrentProcess(), &wow64);  // result ignored: the flag stays 0
    return wow64;
}

BOOL DisableFsRedirection(PVOID* previous)
{
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    const auto disable = GetProcAs<DisableFn>(Kernel32(), "Wow64DisableWow64FsRedirection");
    return disable != nullptr ? disable(previous) : FALSE;
}

BOOL RevertFsRedirection(PVOID previous)
{
    using RevertFn = BOOL(WINAPI*)(PVOID);
    const auto revert = GetProcAs<RevertFn>(Kernel32(), "Wow64RevertWow64FsRedirection");
    return revert != nullptr ? revert(previous) : FALSE;
}
