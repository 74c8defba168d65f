// recorder: stand-in for the handler and indicator programs the service starts.
//
// Its first act, before anything that could wait or fail, appends one line "pid=<id>" to
// "<its own path>.started", so that a test can count every start of this file and find the
// process of each. Then it records how it was started into "<its own path>.launch" (key=value
// lines, written whole, replacing an earlier record):
//   commandLine    the command line it received
//   desktop        lpDesktop of its startup information
//   envProbe       its FNKEY_ENV_PROBE variable: a launch with an environment block built for the
//                  user's profile sees the profile's value, a launch without one inherits the
//                  starter's value
//   threadPriority its main thread's priority once the starter has raised it (waits up to 3 s)
//   priorityClass  its process priority class
//   created        its process's creation time (100-ns units since 1601), to order starts
//   currentDirectory the folder it runs in (its starter's own, unless the starter chose one)
//   imageBytes     the size of its own program file, which tells the signed copies and the
//                  plain build apart (a test that replaces a handler learns which file started)
// With the argument --linger it stays alive for 30 s after recording. With --crash it dies of an
// access violation right after the start mark, for the harness's check that crashes are reported.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "append_line.h"

namespace {

// One line per start; concurrent starts of one program never lose or mix their lines.
void AppendStartMark(const std::wstring& self)
{
    const std::wstring marks = self + L".started";
    char line[32];
    const int length = std::snprintf(line, sizeof line, "pid=%lu\n", GetCurrentProcessId());
    AppendLineAlone(marks.c_str(), line, static_cast<DWORD>(length));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t self[MAX_PATH];
    const DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (selfLength == 0 || selfLength >= MAX_PATH - 16) return 1;
    AppendStartMark(self);

    if (std::wcsstr(GetCommandLineW(), L"--crash") != nullptr) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }

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

    const std::wstring record = std::wstring(self) + L".launch";
    const std::wstring partial = record + L".partial";

    FILE* out = _wfopen(partial.c_str(), L"w, ccs=UTF-8");
    if (out == nullptr) return 1;
    std::fwprintf(out, L"commandLine=%ls\n", GetCommandLineW());
    std::fwprintf(out, L"desktop=%ls\n", startup.lpDesktop ? startup.lpDesktop : L"(none)");
    std::fwprintf(out, L"envProbe=%ls\n", probe);
    std::fwprintf(out, L"threadPriority=%d\n", priority);
    std::fwprintf(out, L"priorityClass=0x%lX\n", static_cast<unsigned long>(GetPriorityClass(GetCurrentProcess())));
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    std::fwprintf(out, L"created=%llu\n",
                  static_cast<unsigned long long>(created.dwHighDateTime) << 32 | created.dwLowDateTime);
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    std::fwprintf(out, L"currentDirectory=%ls\n", directory);
    WIN32_FILE_ATTRIBUTE_DATA image{};
    if (GetFileAttributesExW(self, GetFileExInfoStandard, &image)) {
        std::fwprintf(out, L"imageBytes=%llu\n",
                      static_cast<unsigned long long>(image.nFileSizeHigh) << 32 | image.nFileSizeLow);
    }
    std::fclose(out);
    MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING);

    if (std::wcsstr(GetCommandLineW(), L"--linger") != nullptr) Sleep(30000);
    return 0;
}
