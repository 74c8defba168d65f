#include "host/lpu_module.h"

#include <shlwapi.h>

#include "bounded_string.h"
#include "proc_address.h"
#include "unique_handle.h"

HMODULE LoadLpuModule(const wchar_t* fileName)
{
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return nullptr;
    wchar_t* lastBackslash = StrRChrW(path, nullptr, L'\\');
    if (lastBackslash == nullptr) return nullptr;
    wchar_t* name = lastBackslash + 1;
    if (!BoundedCopy(name, static_cast<size_t>(path + MAX_PATH - name), fileName)) return nullptr;

    UniqueModule module(LoadLibraryW(path));
    if (!module) return nullptr;
    using EnableLpuFn = DWORD(WINAPI*)();
    const auto enableLpu = GetProcAs<EnableLpuFn>(module.Get(), "EnableLPU");
    if (enableLpu == nullptr || enableLpu() == 0) return nullptr;
    return module.Release();
}
