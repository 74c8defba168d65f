// fnkeyd.exe as the service "fnkeyd" under wine's service control manager, from a program folder
// of its own, on a machine whose hotkey registry the hotkey source seeded.
#include <doctest.h>

#include <windows.h>
#include <wtsapi32.h>

#include <string>

#include "host/hotkey_number_section.h"
#include "host/watcher_control.h"
#include "registry_fixture.h"
#include "service_machine.h"
#include "standins.h"
#include "test_files.h"
#include "unique_handle.h"

using testsvc::LpuLog;
using testsvc::ServiceMachine;

namespace {

// The record of `program`, which must appear.
std::map<std::wstring, std::wstring> Started(const std::wstring& program)
{
    auto record = standin::WaitForRecord(program);
    const std::string name(program.begin(), program.end());
    REQUIRE_MESSAGE(!record.empty(), (name + " did not start"));
    return record;
}

// The library was enabled once and let go once. The service frees it after its stopped report,
// but the process may end first: once the last service has stopped, the dispatcher returns and the
// program ends (the order itself is checked in host.service_main).
bool LoadedOnceAndReleased(const std::vector<std::string>& log)
{
    return log.size() == 2 && log[0] == "enabled" && (log[1] == "freed" || log[1] == "process ended");
}

ULONGLONG CreationTime(const std::map<std::wstring, std::wstring>& record)
{
    return std::wcstoull(record.at(L"created").c_str(), nullptr, 10);
}

}  // namespace

TEST_SUITE("service") {
TEST_CASE_FIXTURE(ServiceMachine, "the service starts, switches its hotkeys on, starts the indicators, answers presses and stops")
{
    Console(true);
    const std::wstring registered = folder.File(L"handler two.exe");
    CopyFileW(testfiles::BinPath(L"recorder.exe").c_str(), registered.c_str(), FALSE);
    RegisterHandler(HotkeyClass::Class01, 2, registered, L"--two");
    REQUIRE_MESSAGE(StartService(), Service().Problem());

    SUBCASE("start-up: served bits on, the section in place with its access for everyone, the indicators")
    {
        CHECK(testreg::GetDword(L"Software\\Norvane\\SystemEvent\\CurrentSetting", nullptr) == 0x33u);
        // The status the service reports while it runs: its own process, stop and session
        // changes accepted, no error.
        const SERVICE_STATUS_PROCESS status = Service().Status();
        CHECK(status.dwCurrentState == SERVICE_RUNNING);
        CHECK(status.dwServiceType == SERVICE_WIN32_OWN_PROCESS);
        CHECK(status.dwControlsAccepted == (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE));
        CHECK(status.dwWin32ExitCode == 0u);
        // The section is there for the client (its access for everyone is checked in
        // host.service_main: wine keeps no security for sections, so it cannot be read back).
        UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kHotkeyNumberSectionName));
        CHECK(section);

        // With a user at the console: the user's indicator first, then the logon indicator.
        const auto user = Started(folder.File(L"kivrad.exe"));
        const auto logon = Started(folder.File(L"kivra.exe"));  // StartService waited for it

        CHECK(user.at(L"desktop") == L"WinSta0\\Default");
        CHECK(user.at(L"commandLine") == folder.ShortPath() + L"\\kivrad.exe");
        CHECK(logon.at(L"desktop") == L"WinSta0\\WinLogon");
        CHECK(logon.at(L"commandLine") == folder.ShortPath() + L"\\kivra.exe");
        CHECK(CreationTime(user) <= CreationTime(logon));
        CHECK(LpuLog(folder) == std::vector<std::string>{"enabled"});
    }
    SUBCASE("presses of a class-01 hotkey and a class-02 event start their handlers; a stop ends it cleanly")
    {
        source.Press(HotkeyClass::Class01, 2);
        const auto two = Started(registered);
        CHECK(two.at(L"commandLine") == registered + L" --two");
        CHECK(two.at(L"desktop") == L"WinSta0\\Default");
        CHECK(two.at(L"threadPriority") == L"2");

        source.Press(HotkeyClass::Class02, 1);
        const std::wstring brisk1 = folder.File(L"brisk_1.exe");
        const auto event = Started(brisk1);
        CHECK(event.at(L"commandLine") == folder.ShortPath() + L"\\brisk_1.exe");
        CHECK(event.at(L"desktop") == L"WinSta0\\Default");

        REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
        CHECK(Service().Status().dwWin32ExitCode == 0);
        CHECK(LoadedOnceAndReleased(LpuLog(folder)));
    }
}

TEST_CASE_FIXTURE(ServiceMachine, "without a user at the console: the logon indicator alone, and only signed handlers that may run there")
{
    Console(false);
    const std::wstring unsignedHandler = folder.File(L"handler two.exe");
    const std::wstring otherPublisher = folder.File(L"handler six.exe");
    CopyFileW(testfiles::BinPath(L"recorder.exe").c_str(), unsignedHandler.c_str(), FALSE);
    CopyFileW(testfiles::BinPath(L"signed\\other-publisher.exe").c_str(), otherPublisher.c_str(), FALSE);
    RegisterHandler(HotkeyClass::Class01, 2, unsignedHandler, L"", 1);
    RegisterHandler(HotkeyClass::Class01, 6, otherPublisher, L"", 1);
    SetLockedMode(HotkeyClass::Class02, 1, 1);  // the marker below: brisk_1.exe may run on the logon desktop
    REQUIRE_MESSAGE(StartService(), Service().Problem());

    const auto logon = Started(folder.File(L"kivra.exe"));  // StartService waited for it
    CHECK(logon.at(L"desktop") == L"WinSta0\\WinLogon");
    CHECK(standin::NeverStarted(folder.File(L"kivrad.exe")));  // it would have been launched first

    // HotkeyNumber 5 may run on the logon desktop by default, and ostrel5.exe is the publisher's.
    source.Press(HotkeyClass::Class01, 5);
    const auto five = Started(folder.File(L"ostrel5.exe"));
    CHECK(five.at(L"desktop") == L"WinSta0\\WinLogon");
    CHECK(five.at(L"envProbe") == L"(absent)");  // the service's own environment, not a user's

    // Refused: unsigned, another publisher's; consumed: ostrel1.exe with LockedMode 0. Then a
    // class-02 event, which every pass dispatches after its class-01 hotkeys: once it has
    // started, the three presses before it are done.
    source.Press(HotkeyClass::Class01, 2);
    source.Press(HotkeyClass::Class01, 6);
    source.Press(HotkeyClass::Class01, 1);
    source.Press(HotkeyClass::Class02, 1);
    const auto marker = Started(folder.File(L"brisk_1.exe"));
    CHECK(marker.at(L"desktop") == L"WinSta0\\WinLogon");
    CHECK(standin::NeverStarted(unsignedHandler));
    CHECK(standin::NeverStarted(otherPublisher));
    CHECK(standin::NeverStarted(folder.File(L"ostrel1.exe")));
}

TEST_CASE("a start that cannot go on never runs, or stops, with the failing step's error")
{
    SUBCASE("no Parameters root: never running, and the library never loaded")
    {
        ServiceMachine machine;
        CleanHotkeyRegistry::Wipe();
        // Wine's service control manager answers 1053 when a service stops before the start call
        // returns; Windows reports the start. Either way the outcome is in the final status.
        machine.Service().Start();
        REQUIRE_MESSAGE(machine.Service().WaitForState(SERVICE_STOPPED), machine.Service().Problem());
        // The exit code the service reports (the root's open error) is in host.service_main: wine's
        // service control manager replaces it by 0 when the stop comes within the start call.
        CHECK(LpuLog(machine.folder).empty());  // loaded only after the running report
    }
    SUBCASE("no hotkey served: running, then stopped with the configuration error")
    {
        ServiceMachine machine;
        CleanHotkeyRegistry::Wipe();
        REQUIRE(SeedHotkeySource(KeyFamily::SystemEvent, HotkeySourceSeed{}));  // Capability 0, no Type2
        machine.Service().Start();
        REQUIRE_MESSAGE(machine.Service().WaitForState(SERVICE_STOPPED), machine.Service().Problem());
        CHECK(machine.Service().Status().dwWin32ExitCode == kNoHotkeysServedError);
        CHECK(LoadedOnceAndReleased(LpuLog(machine.folder)));
    }
}

TEST_CASE_FIXTURE(ServiceMachine, "the watcher hears presses again after the hotkey source recreated its key")
{
    Console(true);
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    source.Press(HotkeyClass::Class01, 1);
    Started(ostrel1);
    standin::DeleteRecord(ostrel1);

    testreg::DeleteTree(L"Software\\Norvane\\SystemEvent\\Notification");
    testreg::SetDword(L"Software\\Norvane\\SystemEvent\\Notification", nullptr, 0);
    // The watcher takes the recreated key's values as its new start, so a press made before it
    // has looked again may be taken for part of that start: press until one is heard.
    CHECK_FALSE(PressUntilStarted(HotkeyClass::Class01, 1, ostrel1).empty());
}
TEST_CASE_FIXTURE(ServiceMachine, "a library that refuses is unloaded at once, and the service runs on")
{
    Console(true);
    REQUIRE(CopyFileW(testfiles::BinPath(L"moltex32-refusing.dll").c_str(), folder.File(L"MOLTEX32.DLL").c_str(), FALSE));
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    source.Press(HotkeyClass::Class01, 1);
    CHECK_FALSE(standin::WaitForRecord(ostrel1).empty());
    CHECK(LpuLog(folder) == std::vector<std::string>{"enabled", "freed"});  // freed while the service runs
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}
}
