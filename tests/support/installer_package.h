// The product's installer packages, as a test installs them: msiexec run the way an
// administrator runs it, and what the package itself says (read from its tables, never
// re-stated by the tests): its upgrade code, version and folders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testpkg {

// build/<preset>/package/<name> (the packages the build makes beside bin/).
std::wstring PackagePath(const wchar_t* name);

// msiexec.exe with `arguments` (say L"/i \"...\" /qn"), with a verbose log to `logPath` when
// given; its exit code (0xFFFFFFFF when it did not end within three minutes).
DWORD Msiexec(const std::wstring& arguments, const std::wstring& logPath = L"");

// A property of the package's Property table ("UpgradeCode", "ProductVersion", ...); empty when
// it cannot be read.
std::wstring PackageProperty(const std::wstring& package, const wchar_t* property);
// The folder the package installs directory `directory` (INSTALLDIR32, INSTALLDIR64) to: the
// program-files folder of that view and the directory's name from the package.
std::wstring InstallFolder(const std::wstring& package, const wchar_t* directory);

// How many installed products carry `upgradeCode` (entries among installed programs).
int InstalledProducts(const std::wstring& upgradeCode);
// The installed version of the product with `upgradeCode`; empty when none is installed.
std::wstring InstalledVersion(const std::wstring& upgradeCode);

// The service `name` as the service control manager reports it (dwCurrentState 0: no such
// service), and a wait for one of its states with a deadline.
SERVICE_STATUS_PROCESS ServiceStatus(const wchar_t* name);
bool WaitForServiceState(const wchar_t* name, DWORD state, DWORD timeoutMs = 60000);
// The service's program as the service control manager has it, without quotes; empty without it.
std::wstring ServiceProgram(const wchar_t* name);
// How many services run a program of the file name `program` (any folder); -1 when unknown.
int ServicesRunning(const wchar_t* program);

// What the product's other components install into the product folder beside the service
// (MOLTEX32.DLL, the indicators, the default programs, the terminal-services stand-in), copied
// from the test program's folder; removed again, with their records, when done, and the folder
// with them once it is empty.
class OtherComponents {
public:
    explicit OtherComponents(const std::wstring& folder);
    ~OtherComponents();
    OtherComponents(const OtherComponents&) = delete;
    OtherComponents& operator=(const OtherComponents&) = delete;

private:
    std::wstring folder_;
    std::vector<std::wstring> placed_;
};

// Removes every installed version of the product with `upgradeCode` the administrator's way
// (msiexec /x with each of `packages`, newest first), then the service `service` by force if it
// is still there.
void RemoveProduct(const std::wstring& upgradeCode, const std::vector<std::wstring>& packages, const wchar_t* service);

}  // namespace testpkg
