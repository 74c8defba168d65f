// Stand-in for the product library MOLTEX32.DLL, which the service and its client load from the
// service's folder and keep loaded when EnableLPU succeeds. EnableLPU returns FNKEY_LPU_RESULT
// (1; the refusing variant is built with 0). The library records what happened to it, one line
// each, into "<its own path>.log": "enabled" when EnableLPU is called, "freed" when FreeLibrary
// unloads it, "process ended" when it is still loaded as its process ends.
#include <windows.h>

#include <cstring>

namespace {

HMODULE g_self = nullptr;

void Record(const char* line)
{
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(g_self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatW(path, L".log");
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
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
