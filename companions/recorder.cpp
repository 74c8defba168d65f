// recorder: stand-in for the handler and indicator programs the service starts. It records how it
// was started into "<its own path>.launch" (key=value lines, written whole, replacing an earlier
// record), so that a test or the demo can read it:
//   commandLine    the command line it received
//   desktop        lpDesktop of its startup information
//   envProbe       its FNKEY_ENV_PROBE variable: a launch with an environment block built for the
//                  user's profile sees the profile's value, a launch without one inherits the
//                  starter's value
//   threadPriority its main thread's priority once the starter has raised it (waits up to 3 s)
//   priorityClass  its process priority class
// With the argument --linger it stays alive for 30 s after recording.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The starter raises this thread's priority only after process creation returned.
    int priority = GetThreadPriority(GetCurrentThread());
    for (int i = 0; i < 60 && priority == THREAD_PRIORITY_NORMAL; ++i) {
        Sleep(50);
        priority = GetThreadPriority(GetCurrentThread());
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t probe[256] = L"(absent)";
    GetEnvironmentVariableW(L"FNKEY_ENV_PROBE", probe, 256);

    wchar_t self[MAX_PATH];
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0 || GetModuleFileNameW(nullptr, self, MAX_PATH) >= MAX_PATH - 16) {
        return 1;
    }
    const std::wstring record = std::wstring(self) + L".launch";
    const std::wstring partial = record + L".partial";

    FILE* out = _wfopen(partial.c_str(), L"w, ccs=UTF-8");
    if (out == nullptr) return 1;
    std::fwprintf(out, L"commandLine=%ls\n", GetCommandLineW());
    std::fwprintf(out, L"desktop=%ls\n", startup.lpDesktop ? startup.lpDesktop : L"(none)");
    std::fwprintf(out, L"envProbe=%ls\n", probe);
    std::fwprintf(out, L"threadPriority=%d\n", priority);
    std::fwprintf(out, L"priorityClass=0x%lX\n", static_cast<unsigned long>(GetPriorityClass(GetCurrentProcess())));
    std::fclose(out);
    MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING);

    if (std::wcsstr(GetCommandLineW(), L"--linger") != nullptr) Sleep(30000);
    return 0;
}
