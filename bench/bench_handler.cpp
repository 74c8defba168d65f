// The handler of the benchmark: its first act reads the high-resolution counter and appends it,
// as one line, to "<its own path>.<argument>.t". Nothing else; when that file cannot be opened, the
// error goes to "<...>.t.err" instead, for the bench to name.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    wchar_t path[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    const wchar_t* tag = (arguments != nullptr && *arguments != L'\0') ? arguments : L"0";
    std::swprintf(path + length, 32, L".%.8ls.t", tag);
    FILE* out = _wfopen(path, L"a");
    if (out == nullptr) {
        const DWORD error = GetLastError();
        std::wcscat(path, L".err");
        FILE* report = _wfopen(path, L"a");
        if (report != nullptr) {
            std::fprintf(report, "%lu\n", error);
            std::fclose(report);
        }
        return 2;
    }
    std::fprintf(out, "%lld\n", static_cast<long long>(now.QuadPart));
    std::fclose(out);
    return 0;
}
