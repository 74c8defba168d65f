#include "installer_package.h"

#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <stdexcept>


#include <algorithm>

#include "standins.h"
#include "test_files.h"
#include "win32_owners.h"

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

SERVICE_STATUS_PROCESS ServiceStatus(const wchar_t* name)
{
    SERVICE_STATUS_PROCESS status{};
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.Get(), name, SERVICE_QUERY_STATUS) : nullptr);
    DWORD needed = 0;
    if (service) {
        QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                             &needed);
    }
    return status;
}

bool WaitForServiceState(const wchar_t* name, DWORD state, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (ServiceStatus(name).dwCurrentState != state) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(100);
    }
    return true;
}

namespace {

// The binary path of an opened service; empty when it cannot be read.
std::wstring BinaryPath(SC_HANDLE service)
{
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) return L"";
    std::wstring path = config->lpBinaryPathName;
    path.erase(std::remove(path.begin(), path.end(), L'"'), path.end());
    return path;
}

}  // namespace

std::wstring ServiceProgram(const wchar_t* name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.Get(), name, SERVICE_QUERY_CONFIG) : nullptr);
    return service ? BinaryPath(service.Get()) : L"";
}

int ServicesRunning(const wchar_t* program)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT));
    if (!manager) return -1;
    std::vector<BYTE> buffer(256 * 1024);
    DWORD needed = 0, count = 0, resume = 0;
    if (!EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                               static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr)) {
        return -1;
    }
    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    const std::wstring suffix = std::wstring(L"\\") + program;
    int found = 0;
    for (DWORD i = 0; i < count; ++i) {
        UniqueServiceHandle service(OpenServiceW(manager.Get(), services[i].lpServiceName, SERVICE_QUERY_CONFIG));
        if (!service) continue;
        const std::wstring path = BinaryPath(service.Get());
        if (path.size() >= suffix.size() &&
            _wcsicmp(path.c_str() + path.size() - suffix.size(), suffix.c_str()) == 0) {
            ++found;
        }
    }
    return found;
}

OtherComponents::OtherComponents(const std::wstring& folder) : folder_(folder)
{
    if (folder_.empty()) throw std::runtime_error("no product folder to place the other components in");
    CreateDirectoryW(folder_.c_str(), nullptr);
    std::vector<std::wstring> names = {L"MOLTEX32.DLL", L"wtsapi32.dll", L"kivra.exe", L"kivrad.exe"};
    for (const wchar_t* pattern : {L"ostrel*.exe", L"brisk_*.exe"}) {
        WIN32_FIND_DATAW entry;
        const HANDLE search = FindFirstFileW(testfiles::BinPath(pattern).c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            names.push_back(entry.cFileName);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    for (const std::wstring& name : names) {
        const std::wstring target = folder_ + L"\\" + name;
        if (!CopyFileW(testfiles::BinPath(name.c_str()).c_str(), target.c_str(), FALSE))
            throw std::runtime_error("cannot place the product's other components");
        standin::DeleteRecord(target);
        placed_.push_back(target);
    }
}

OtherComponents::~OtherComponents()
{
    for (const std::wstring& file : placed_) {
        standin::DeleteRecord(file);
        DeleteFileW(file.c_str());
    }
    RemoveDirectoryW(folder_.c_str());
}

void RemoveProduct(const std::wstring& upgradeCode, const std::vector<std::wstring>& packages, const wchar_t* service)
{
    for (auto package = packages.rbegin(); package != packages.rend(); ++package) {
        if (InstalledProducts(upgradeCode) == 0) break;
        Msiexec(L"/x \"" + *package + L"\" /qn");
    }
    if (ServiceStatus(service).dwCurrentState == 0) return;
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle leftover(manager ? OpenServiceW(manager.Get(), service, SERVICE_ALL_ACCESS) : nullptr);
    if (!leftover) return;
    SERVICE_STATUS status{};
    ControlService(leftover.Get(), SERVICE_CONTROL_STOP, &status);
    WaitForServiceState(service, SERVICE_STOPPED, 30000);
    DeleteService(leftover.Get());
}

}  // namespace testpkg
