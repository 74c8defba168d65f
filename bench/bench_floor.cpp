// The floor of a key press: the least a program can do between the hotkey source's write and the
// handler's start. Waits on a change notification of HKLM\<key> (the same kind of notification
// the service waits on), reads the key's default value, and for every bit that changed starts
// <handler> <bit number> with CreateProcessW at once. Runs until killed.
// Usage: bench_floor <key below HKLM> <handler.exe>
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

DWORD ReadSignal(HKEY key)
{
    DWORD value = 0, size = sizeof value;
    RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    return value;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 2;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_NOTIFY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 3;
    }
    const HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const std::wstring handler = argv[2];
    // Armed before each read, so that a write after the read wakes the next wait.
    if (RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE) != ERROR_SUCCESS) return 4;
    DWORD last = ReadSignal(key);
    for (;;) {
        WaitForSingleObject(changed, INFINITE);
        if (RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE) != ERROR_SUCCESS) return 4;
        const DWORD now = ReadSignal(key);
        const DWORD bits = now ^ last;
        last = now;
        for (DWORD bit = 0; bit < 32; ++bit) {
            if ((bits & (1u << bit)) == 0) continue;
            std::wstring commandLine = L"\"" + handler + L"\" " + std::to_wstring(bit + 1);
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info{};
            if (CreateProcessW(handler.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info)) {
                CloseHandle(info.hThread);
                CloseHandle(info.hProcess);
            }
        }
    }
}
