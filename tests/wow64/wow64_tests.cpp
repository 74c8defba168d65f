// The shipped 32-bit fnkeyd.exe under real WoW64, inside the emulated guest (tests/wow64/run-guest
// starts it there). This program is a 64-bit one: it writes the registry's 64-bit view and the
// native system folder as the product's 64-bit components would, and installs the 32-bit service
// from the folder beside it, where the payload put the 32-bit build and its 32-bit companions.
#include <doctest.h>

#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dispatch/handler_resolution.h"
#include "hotkey_source_fixture.h"
#include "installer_package.h"
#include "pipe_request_sample.h"
#include "registry/registry_paths.h"
#include "registry_fixture.h"
#include "service_machine.h"
#include "standins.h"
#include "test_files.h"
#include "run_program.h"
#include "unique_handle.h"

using testsvc::ServiceMachine;

namespace {

constexpr DWORD kFailed = 0xFFFFFFFF;  // -1

std::wstring CurrentSettingPath()
{
    return std::wstring(ParametersRootPath(KeyFamily::SystemEvent)) + L"\\" + kCurrentSettingKey;
}

DWORD CurrentSetting()
{
    const auto value = testreg::GetDword(CurrentSettingPath().c_str(), nullptr);
    REQUIRE(value.has_value());
    return *value;
}

// The machine of the file `program`: 0x14C for i386, 0x8664 for x86-64, 0 when unreadable.
WORD MachineOf(const std::wstring& program)
{
    WORD machine = 0;
    FILE* in = _wfopen(program.c_str(), L"rb");
    if (in == nullptr) return 0;
    BYTE header[4096] = {};
    const size_t got = std::fread(header, 1, sizeof header, in);
    std::fclose(in);
    if (got < 0x40) return 0;
    const DWORD pe = *reinterpret_cast<const DWORD*>(header + 0x3C);
    if (pe + 6 <= got) machine = *reinterpret_cast<const WORD*>(header + pe + 4);
    return machine;
}

// The native system folder as this 64-bit program sees it (no redirection applies to it).
std::wstring NativeSystemFile(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

// A file placed in the native system folder for one test, removed with its records afterwards.
class NativeSystemProgram {
public:
    NativeSystemProgram(const wchar_t* name, const std::wstring& from) : path_(NativeSystemFile(name))
    {
        REQUIRE_MESSAGE(CopyFileW(from.c_str(), path_.c_str(), FALSE), "cannot place a program in the system folder");
        standin::DeleteRecord(path_);
    }
    ~NativeSystemProgram()
    {
        standin::DeleteRecord(path_);
        DeleteFileW(path_.c_str());
    }
    NativeSystemProgram(const NativeSystemProgram&) = delete;
    NativeSystemProgram& operator=(const NativeSystemProgram&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// The record of `program`, which must appear.
std::map<std::wstring, std::wstring> Started(const std::wstring& program)
{
    auto record = standin::WaitForRecord(program, 60000);
    const std::string name(program.begin(), program.end());
    REQUIRE_MESSAGE(!record.empty(), (name + " did not start"));
    return record;
}

// The service's first steps are slow under emulation: wait for its whole start-up.
void Start(ServiceMachine& machine)
{
    REQUIRE_MESSAGE(machine.StartService(), machine.Service().Problem());
}

// Whether HKEY_LOCAL_MACHINE\<path> exists in the registry view `view` (KEY_WOW64_32KEY or _64KEY).
bool ExistsInView(const wchar_t* path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetNativePath(HotkeyClass hotkeyClass, DWORD number, DWORD nativePath)
{
    testreg::SetDword(testsvc::HotkeySubkeyPath(hotkeyClass, number).c_str(), kNativePathValue, nativePath);
}

HotkeySourceSeed SeedWith(DWORD capability)
{
    HotkeySourceSeed seed = testsvc::DefaultMachineSeed();
    seed.capability = capability;
    return seed;
}

std::vector<BYTE> ReadAll(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in == nullptr) return bytes;
    BYTE chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(in);
    return bytes;
}

}  // namespace

TEST_SUITE("wow64") {
TEST_CASE("the guest runs the shipped 32-bit file under WoW64")
{
    // What every other case relies on: the service file is the i386 build, this driver is not,
    // and the system folder this driver sees is the native one.
    CHECK(MachineOf(testfiles::BinPath(L"fnkeyd.exe")) == 0x14C);
    CHECK(MachineOf(testfiles::BinPath(L"recorder.exe")) == 0x14C);
    CHECK(MachineOf(testfiles::BinPath(L"recorder64.exe")) == 0x8664);
    CHECK(MachineOf(NativeSystemFile(L"kernel32.dll")) == 0x8664);
}

TEST_CASE_FIXTURE(ServiceMachine, "views: the service reads and writes the 64-bit view and creates nothing in the 32-bit one")
{
    // The hotkey source (64-bit code) seeded the Parameters root in the 64-bit view only, and the
    // class-01 key there holds "Disable" for HotkeyNumber 6: served only if read from the wrong view.
    testreg::SetDword(ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class01), L"Disable", 0x20);
    REQUIRE_FALSE(ExistsInView(ParametersRootPath(KeyFamily::SystemEvent), KEY_WOW64_32KEY));
    REQUIRE_FALSE(ExistsInView(ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class01), KEY_WOW64_32KEY));
    Console(true);
    Start(*this);

    CHECK(Service().Status().dwCurrentState == SERVICE_RUNNING);
    CHECK(CurrentSetting() == 0x13u);
    CHECK(testreg::GetDword(ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class01), kClassCapabilityValue) == 0x13u);
    CHECK(testreg::GetDword(ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class02), kServicedValue) == 0x3u);
    CHECK(testreg::KeyExists(testsvc::HotkeySubkeyPath(HotkeyClass::Class01, 2).c_str()));
    for (const wchar_t* path : {ParametersRootPath(KeyFamily::SystemEvent),
                                ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class01),
                                ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class02)}) {
        CAPTURE(std::string(path, path + wcslen(path)));
        CHECK(ExistsInView(path, KEY_WOW64_64KEY));
        CHECK_FALSE(ExistsInView(path, KEY_WOW64_32KEY));
    }
    CHECK_FALSE(testreg::KeyExists(L"Software\\WOW6432Node\\Norvane"));
}

TEST_CASE_FIXTURE(ServiceMachine, "native path: 1 starts a handler that only the native system folder holds, 0 does not")
{
    Console(true);
    const NativeSystemProgram native(L"fnkeynative2.exe", testfiles::BinPath(L"recorder64.exe"));
    const NativeSystemProgram redirected(L"fnkeynative6.exe", testfiles::BinPath(L"recorder64.exe"));
    RegisterHandler(HotkeyClass::Class01, 2, native.Path(), L"--two");
    SetNativePath(HotkeyClass::Class01, 2, 1);
    RegisterHandler(HotkeyClass::Class01, 6, redirected.Path(), L"--six");
    SetNativePath(HotkeyClass::Class01, 6, 0);
    Start(*this);

    source.Press(HotkeyClass::Class01, 2);
    const auto two = Started(native.Path());
    CHECK(two.at(L"commandLine") == native.Path() + L" --two");

    // With redirection on, the 32-bit service looks in SysWOW64, where no such file is. The
    // class-02 event after it in the same pass proves the press was handled.
    source.Press(HotkeyClass::Class01, 6);
    source.Press(HotkeyClass::Class02, 1);
    Started(folder.File(L"brisk_1.exe"));
    CHECK(standin::NeverStarted(redirected.Path()));
}

TEST_CASE("display switch: HotkeyNumber 7 without a handler starts DisplaySwitch.exe from the service's current folder")
{
    // Windows starts a service in the system folder, where redirection decides which
    // DisplaySwitch.exe a 32-bit service finds. Wine's service control manager starts it in the
    // Windows folder instead (the record's currentDirectory shows it), which is not redirected:
    // so here the bare name resolves there, and the 64-bit program placed there starts.
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring serviceFolder = windows;
    const std::wstring displaySwitch = serviceFolder + L"\\" + kDisplaySwitchProgram;
    REQUIRE(CopyFileW(testfiles::BinPath(L"recorder64.exe").c_str(), displaySwitch.c_str(), FALSE));
    standin::DeleteRecord(displaySwitch);
    struct Remove {
        std::wstring path;
        ~Remove()
        {
            standin::DeleteRecord(path);
            DeleteFileW(path.c_str());
        }
    } remove{displaySwitch};

    ServiceMachine machine(SeedWith(0x73));  // HotkeyNumbers 1, 2, 5, 6 and 7
    machine.Console(true);
    Start(machine);
    CHECK(CurrentSetting() == 0x73u);

    machine.source.Press(HotkeyClass::Class01, 7);
    const auto record = Started(displaySwitch);
    CHECK(record.at(L"commandLine") == kDisplaySwitchProgram);
    CHECK(_wcsicmp(record.at(L"currentDirectory").c_str(), serviceFolder.c_str()) == 0);
}

TEST_CASE_FIXTURE(ServiceMachine, "logon desktop: a signed 32-bit handler starts, and a signed 64-bit one only the native system folder holds; an unsigned one does not")
{
    Console(false);
    const std::wstring unsignedHandler = folder.File(L"handler two.exe");
    REQUIRE(CopyFileW(testfiles::BinPath(L"recorder.exe").c_str(), unsignedHandler.c_str(), FALSE));
    RegisterHandler(HotkeyClass::Class01, 2, unsignedHandler, L"", 1);
    // Signed, and found only with redirection off: the file held and checked is the native one.
    // (A 64-bit handler: a 32-bit one would write its record through redirection, into SysWOW64.)
    const NativeSystemProgram nativeSigned(L"fnkeysigned6.exe", testfiles::BinPath(L"publisher64.exe"));
    RegisterHandler(HotkeyClass::Class01, 6, nativeSigned.Path(), L"", 1);
    SetNativePath(HotkeyClass::Class01, 6, 1);
    SetLockedMode(HotkeyClass::Class02, 1, 1);  // the marker below may run on the logon desktop
    Start(*this);

    source.Press(HotkeyClass::Class01, 5);
    CHECK(Started(folder.File(L"ostrel5.exe")).at(L"desktop") == L"WinSta0\\WinLogon");
    source.Press(HotkeyClass::Class01, 6);
    CHECK(Started(nativeSigned.Path()).at(L"desktop") == L"WinSta0\\WinLogon");

    source.Press(HotkeyClass::Class01, 2);
    source.Press(HotkeyClass::Class02, 1);
    Started(folder.File(L"brisk_1.exe"));
    CHECK(standin::NeverStarted(unsignedHandler));
}

TEST_CASE_FIXTURE(ServiceMachine, "client: the 32-bit client's exit codes, read in full")
{
    Console(true);
    Start(*this);
    const std::wstring client = folder.Service();
    CHECK(testproc::ExitCodeOf(client, L"/query:1") == 1);
    CHECK(testproc::ExitCodeOf(client, L"/close:2") == 0);
    CHECK(CurrentSetting() == 0x31u);
    CHECK(testproc::ExitCodeOf(client, L"/query:2") == 0);
    CHECK(testproc::ExitCodeOf(client, L"/open:2") == 0);
    CHECK(CurrentSetting() == 0x33u);
    CHECK(testproc::ExitCodeOf(client, L"/query:x") == kFailed);

    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    standin::DeleteRecord(ostrel1);
    CHECK(testproc::ExitCodeOf(client, L"/notify:1") == 0);
    Started(ostrel1);
}

TEST_CASE("pipe request: the 32-bit build writes the same bytes as the 64-bit build")
{
    testfiles::ScratchDir scratch;
    const std::wstring out = scratch.File(L"request32.bin");
    CHECK(testproc::ExitCodeOf(testfiles::BinPath(L"pipe_request_probe.exe"), L"\"" + out + L"\"") == 0);
    const std::vector<BYTE> written32 = ReadAll(out);
    const std::vector<BYTE> built64 = BuildSamplePipeRequest();
    REQUIRE_FALSE(built64.empty());
    CHECK(MachineOf(testfiles::BinPath(L"pipe_request_probe.exe")) == 0x14C);
    CHECK(written32.size() == built64.size());
    CHECK(written32 == built64);
}

TEST_CASE("package: the shipped fnkey.msi installs the 32-bit service in the 32-bit program-files folder, runs it, and msiexec /x removes it all")
{
    const std::wstring package = testfiles::BinPath(L"fnkey.msi");
    const std::wstring upgradeCode = testpkg::PackageProperty(package, L"UpgradeCode");
    const std::wstring folder32 = testpkg::InstallFolder(package, L"INSTALLDIR32");
    const std::wstring folder64 = testpkg::InstallFolder(package, L"INSTALLDIR64");
    REQUIRE_FALSE(upgradeCode.empty());
    CHECK(folder32.find(L"(x86)") != std::wstring::npos);  // the 32-bit program-files folder
    standin::TrustedTestRoot trusted;
    TestHotkeySource source(KeyFamily::SystemEvent, testsvc::DefaultMachineSeed());
    const testpkg::OtherComponents others(folder32);  // the 32-bit ones: this folder holds 32-bit programs
    standin::SetConsoleSession(true);
    struct Removal {
        const std::wstring& upgradeCode;
        const std::wstring& package;
        ~Removal()
        {
            testpkg::RemoveProduct(upgradeCode, {package}, L"fnkeyd");
            standin::ClearSessions();
        }
    } removal{upgradeCode, package};

    REQUIRE(testpkg::Msiexec(L"/i \"" + package + L"\" /qn") == 0);
    CHECK(testpkg::InstalledProducts(upgradeCode) == 1);
    REQUIRE_MESSAGE(testpkg::WaitForServiceState(L"fnkeyd", SERVICE_RUNNING, 120000), "the installed service does not run");
    const std::wstring service = folder32 + L"\\fnkeyd.exe";
    CHECK(_wcsicmp(testpkg::ServiceProgram(L"fnkeyd").c_str(), service.c_str()) == 0);
    CHECK(MachineOf(service) == 0x14C);
    CHECK(MachineOf(folder32 + L"\\fnkeydiag.exe") == 0x14C);
    CHECK(MachineOf(folder64 + L"\\GlanceUIApp.exe") == 0x8664);
    Started(folder32 + L"\\kivra.exe");  // the start-up is complete
    CHECK(CurrentSetting() == 0x33u);

    const std::wstring ostrel1 = folder32 + L"\\ostrel1.exe";
    standin::DeleteRecord(ostrel1);
    source.Press(HotkeyClass::Class01, 1);
    CHECK(Started(ostrel1).at(L"desktop") == L"WinSta0\\Default");

    REQUIRE(testpkg::Msiexec(L"/x \"" + package + L"\" /qn") == 0);
    CHECK(testpkg::InstalledProducts(upgradeCode) == 0);
    CHECK(testpkg::ServiceStatus(L"fnkeyd").dwCurrentState == 0);
    CHECK(GetFileAttributesW(service.c_str()) == INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesW((folder32 + L"\\fnkeydiag.exe").c_str()) == INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesW((folder64 + L"\\GlanceUIApp.exe").c_str()) == INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesW((folder64 + L"\\GlanceUIApp.ini").c_str()) == INVALID_FILE_ATTRIBUTES);
}
}
