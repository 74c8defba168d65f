#include "service_program_folder.h"

#include <windows.h>

#include <stdexcept>

namespace testfiles {

ServiceProgramFolder::ServiceProgramFolder()
{
    dir_.Copy(BinPath(L"fnkeyd.exe"), L"fnkeyd.exe");
    dir_.Copy(BinPath(L"wtsapi32.dll"), L"wtsapi32.dll");
    dir_.Copy(BinPath(L"MOLTEX32.DLL"), L"MOLTEX32.DLL");
    // The default programs the build signed into the bin folder (companions/CMakeLists.txt).
    for (const wchar_t* pattern : {L"ostrel*.exe", L"brisk_*.exe"}) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(BinPath(pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            defaultPrograms_.push_back(dir_.Copy(BinPath(found.cFileName), found.cFileName));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (defaultPrograms_.empty()) throw std::runtime_error("no signed default programs in the bin folder");
    // The indicators, signed by the build as well.
    for (const wchar_t* indicator : {L"kivra.exe", L"kivrad.exe"}) dir_.Copy(BinPath(indicator), indicator);
}

std::wstring ServiceProgramFolder::ShortPath() const
{
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(dir_.Path().c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("the program folder has no short path");
    return shortPath;
}

}  // namespace testfiles
