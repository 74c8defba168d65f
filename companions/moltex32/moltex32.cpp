// Stand-in for the product library MOLTEX32.DLL, which the service and its client load from the
// service's folder and keep loaded when EnableLPU succeeds. EnableLPU returns FNKEY_LPU_RESULT
// (1; the refusing variant is built with 0). The library records what happened to it, one line
// each, into "<its own path>.log": "enabled" when EnableLPU is called, "freed" when FreeLibrary
// unloads it, "process ended" when it is still loaded as its process ends.
#include <windows.h>

#include <cstring>

#include "../append_line.h"

namespace {

HMODULE g_self = nullptr;

void Record(const char* line)
{
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(g_self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatW(path, L".log");
    // The service and its clients load the library at the same time.
    char text[64];
    const size_t textLength = std::strlen(line);
    if (textLength + 1 > sizeof text) return;
    std::memcpy(text, line, textLength);
    text[textLength] = '\n';
    AppendLineAlone(path, text, static_cast<DWORD>(textLength + 1));
}

}  // namespace

extern "C" DWORD WINAPI EnableLPU()
{
    Record("enabled");
    return FNKEY_LPU_RESULT;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    // Unloaded by FreeLibrary: `reserved` is null; at the end of the process it is not.
    if (reason == DLL_PROCESS_DETACH) Record(reserved == nullptr ? "freed" : "process ended");
    return TRUE;
}
