#include "installer_package.h"

#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>


#include "test_files.h"

namespace testpkg {

namespace {

// One string of a one-column query on the package; empty when it cannot be read.
std::wstring QueryOne(const std::wstring& package, const std::wstring& query)
{
    std::wstring value;
    MSIHANDLE database = 0, view = 0, record = 0;
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewW(database, query.c_str(), &view) == ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        wchar_t text[512] = {};
        DWORD length = 512;
        if (MsiRecordGetStringW(record, 1, text, &length) == ERROR_SUCCESS) value = text;
    }
    if (record != 0) MsiCloseHandle(record);
    if (view != 0) MsiCloseHandle(view);
    if (database != 0) MsiCloseHandle(database);
    return value;
}

}  // namespace

std::wstring PackagePath(const wchar_t* name)
{
    return testfiles::BinPath(L"..\\package\\") + name;
}

DWORD Msiexec(const std::wstring& arguments, const std::wstring& logPath)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\msiexec.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    if (!logPath.empty()) commandLine += L" /l*v \"" + logPath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return 0xFFFFFFFF;
    }
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(info.hProcess, 180000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
    else TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

std::wstring PackageProperty(const std::wstring& package, const wchar_t* property)
{
    return QueryOne(package, std::wstring(L"SELECT `Value` FROM `Property` WHERE `Property`='") + property + L"'");
}

std::wstring InstallFolder(const std::wstring& package, const wchar_t* directory)
{
    std::wstring name = QueryOne(package, std::wstring(L"SELECT `DefaultDir` FROM `Directory` WHERE `Directory`='") +
                                              directory + L"'");
    const size_t bar = name.find(L'|');  // "short|long" names: the long one
    if (bar != std::wstring::npos) name = name.substr(bar + 1);
    wchar_t root[MAX_PATH] = {};
    const bool is64 = std::wstring(directory) == L"INSTALLDIR64";
    if (FAILED(SHGetFolderPathW(nullptr, is64 ? CSIDL_PROGRAM_FILES : CSIDL_PROGRAM_FILESX86, nullptr, 0, root)))
        return L"";
    return std::wstring(root) + L"\\" + name;
}

int InstalledProducts(const std::wstring& upgradeCode)
{
    int count = 0;
    wchar_t product[39];
    while (MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, static_cast<DWORD>(count), product) == ERROR_SUCCESS) ++count;
    return count;
}

std::wstring InstalledVersion(const std::wstring& upgradeCode)
{
    wchar_t product[39];
    if (MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, 0, product) != ERROR_SUCCESS) return L"";
    wchar_t version[64] = {};
    DWORD length = 64;
    if (MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &length) != ERROR_SUCCESS) return L"";
    return version;
}

}  // namespace testpkg
