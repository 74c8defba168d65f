// The product's installer packages, as a test installs them: msiexec run the way an
// administrator runs it, and what the package itself says (read from its tables, never
// re-stated by the tests): its upgrade code, version and folders.
#pragma once

#include <windows.h>

#include <string>

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

}  // namespace testpkg
