#include "test_files.h"

#include <windows.h>

#include <stdexcept>

namespace testfiles {

std::wstring BinDir()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring BinPath(const wchar_t* name)
{
    return BinDir() + L"\\" + name;
}

ScratchDir::ScratchDir()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    path_ = std::wstring(temp) + L"fnkey-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter));
    if (!CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir()
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFileW((path_ + L"\\" + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
}

std::wstring ScratchDir::Copy(const std::wstring& source, const wchar_t* name) const
{
    const std::wstring target = path_ + L"\\" + name;
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) throw std::runtime_error("cannot copy a test program");
    return target;
}

std::wstring ScratchDir::Touch(const wchar_t* name) const
{
    const std::wstring target = path_ + L"\\" + name;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a file");
    CloseHandle(file);
    return target;
}

}  // namespace testfiles
