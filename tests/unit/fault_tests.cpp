// fnkeyd.exe under wine's service control manager while the things it relies on fail: the hotkey
// source's keys vanish, a handler program is replaced or held by another program, MOLTEX32.DLL is
// missing, terminal services fail. Each time the service runs on and, once the fault is gone, the
// next press starts its handler again. Two faults lie where wine's service control manager cannot
// reach (the moment between a handler's signature check and its start, and the platform's console
// session query, which is kernel32's); those run the service's own ServiceMain inside the test
// program (tests/support/in_process_service.h).
#include <doctest.h>

#include <windows.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include <atomic>
#include <map>
#include <string>

#include "host/client.h"
#include "host/control_handler.h"
#include "host/hotkey_number_section.h"
#include "hotkey_source_fixture.h"
#include "import_patch.h"
#include "in_process_service.h"
#include "registry/registry_paths.h"
#include "registry_fixture.h"
#include "run_program.h"
#include "service_machine.h"
#include "standins.h"
#include "started_processes.h"
#include "test_files.h"
#include "unique_handle.h"

using testsvc::DefaultMachineSeed;
using testsvc::HotkeySubkeyPath;
using testsvc::InProcessService;
using testsvc::LpuLog;
using testsvc::ServiceMachine;
using Record = std::map<std::wstring, std::wstring>;

namespace {

const std::wstring kRoot = ParametersRootPath(KeyFamily::SystemEvent);
const std::wstring kNotification = kRoot + L"\\" + kNotificationKey;

Record Started(const std::wstring& program)
{
    auto record = standin::WaitForRecord(program);
    const std::string name(program.begin(), program.end());
    REQUIRE_MESSAGE(!record.empty(), (name + " did not start"));
    return record;
}

ULONGLONG FileBytes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    REQUIRE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

ULONGLONG ImageBytes(const Record& record)
{
    return std::wcstoull(record.at(L"imageBytes").c_str(), nullptr, 10);
}

// Waits until no process of that file name is left; false at the deadline.
bool ProgramEnded(const std::wstring& program, DWORD timeoutMs = 15000)
{
    const std::wstring fileName = program.substr(program.find_last_of(L'\\') + 1);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (standin::ProgramRunning(fileName)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

bool StillRunning(ServiceMachine& machine)
{
    return machine.Service().Status().dwCurrentState == SERVICE_RUNNING;
}

// Control 129 for class-01 HotkeyNumber `number`, as the client sends it: the index in the
// section, then the control. The control's answer (0: taken in).
DWORD NotifyControl(ServiceMachine& machine, DWORD number, DWORD control = kHotkeyControlToggleNotification)
{
    UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kHotkeyNumberSectionName));
    REQUIRE(section);
    REQUIRE(WriteHotkeyIndex(section.Get(), number - 1));
    return machine.Service().Control(control);
}

}  // namespace

TEST_SUITE("faults") {
TEST_CASE_FIXTURE(ServiceMachine, "with the press signal unreadable nothing is dispatched; once the source puts it back, presses are heard")
{
    struct Row {
        const char* name;
        void (*fault)();
        bool class02PressWhileGone;  // the source can still toggle "Type2"
    };
    const Row rows[] = {
        {"the \"Notification\" key deleted", [] { testreg::DeleteTree(kNotification.c_str()); }, false},
        {"its default value deleted", [] { testreg::DeleteValue(kNotification.c_str(), nullptr); }, true},
    };
    Console(true);
    SetLockedMode(HotkeyClass::Class02, 1, 1);
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    const std::wstring ostrel2 = folder.File(L"ostrel2.exe");
    const std::wstring brisk1 = folder.File(L"brisk_1.exe");
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        // The source comes back with both signals at 0: from anything else, a watcher that took
        // them for presses would start handlers of its own accord.
        if (source.Signal(HotkeyClass::Class01) == 0) {
            source.Press(HotkeyClass::Class01, 2);
            Started(ostrel2);
        }
        for (const auto& program : {ostrel1, ostrel2, brisk1}) standin::DeleteRecord(program);
        row.fault();
        // The service's own press (control 129) cannot flip a bit that cannot be read, and
        // must not bring the key back with a value of its own.
        CHECK(NotifyControl(*this, 1) == NO_ERROR);
        CHECK(testreg::GetDword(kNotification.c_str(), nullptr) == std::nullopt);
        // Not dispatched when the watcher reads the key while the default value is missing.
        // Whether it does before the source is back cannot be seen from here (the single passes
        // are in dispatch.watcher); either way it must start nothing.
        if (row.class02PressWhileGone) source.Press(HotkeyClass::Class02, 1);
        CHECK(StillRunning(*this));

        REQUIRE(SeedHotkeySource(source.Family(), DefaultMachineSeed()));
        CHECK_FALSE(PressUntilStarted(HotkeyClass::Class01, 1, ostrel1).empty());
        // A later pass than any that could have dispatched something of the gap or of the values
        // the source came back with (a pass dispatches class 02 after class 01).
        source.Press(HotkeyClass::Class01, 2);
        Started(ostrel2);
        CHECK(standin::StartCount(ostrel1) == 1);
        CHECK(standin::StartCount(ostrel2) == 1);
        CHECK(standin::NeverStarted(brisk1));
        CHECK(StillRunning(*this));
    }
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE_FIXTURE(ServiceMachine, "the Parameters root deleted while the service runs: controls and client commands do no harm, and presses are heard once the source re-seeds it")
{
    Console(true);
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    source.Press(HotkeyClass::Class01, 1);
    Started(ostrel1);
    standin::DeleteRecord(ostrel1);

    testreg::DeleteTree(kRoot.c_str());

    for (const DWORD control : {kHotkeyControlToggleNotification, kHotkeyControlToggleSetting}) {
        CAPTURE(control);
        CHECK(NotifyControl(*this, 1, control) == NO_ERROR);
    }
    for (const wchar_t* command : {L"/notify:1", L"/open:1", L"/close:1", L"/query:1"}) {
        CAPTURE(std::string(command, command + wcslen(command)));
        CHECK(testproc::ExitCodeOf(folder.Service(), command) == static_cast<DWORD>(kClientFailed));
    }
    // Nothing the service did brought back a part of the root that the source owns.
    CHECK_FALSE(testreg::KeyExists(kRoot.c_str()));
    CHECK(StillRunning(*this));

    REQUIRE(SeedHotkeySource(source.Family(), DefaultMachineSeed()));
    CHECK_FALSE(PressUntilStarted(HotkeyClass::Class01, 1, ostrel1).empty());
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE_FIXTURE(ServiceMachine, "a handler replaced between presses: the next press starts the new file")
{
    Console(true);
    const std::wstring handler = folder.File(L"handler two.exe");
    const std::wstring plain = testfiles::BinPath(L"recorder.exe");
    const std::wstring signedCopy = testfiles::BinPath(L"signed\\other-publisher.exe");
    REQUIRE(FileBytes(plain) != FileBytes(signedCopy));
    REQUIRE(CopyFileW(plain.c_str(), handler.c_str(), FALSE));
    RegisterHandler(HotkeyClass::Class01, 2, handler, L"");
    REQUIRE_MESSAGE(StartService(), Service().Problem());

    source.Press(HotkeyClass::Class01, 2);
    CHECK(ImageBytes(Started(handler)) == FileBytes(plain));

    struct Row {
        const char* name;
        const std::wstring& replacement;
        bool byRename;  // moved over the old file (else copied over it)
    };
    const Row rows[] = {{"copied over it", signedCopy, false}, {"renamed over it", plain, true}};
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        REQUIRE(ProgramEnded(handler));  // a running program's file cannot be replaced
        if (row.byRename) {
            const std::wstring staged = handler + L".new";
            REQUIRE(CopyFileW(row.replacement.c_str(), staged.c_str(), FALSE));
            REQUIRE(MoveFileExW(staged.c_str(), handler.c_str(), MOVEFILE_REPLACE_EXISTING));
        } else {
            REQUIRE(CopyFileW(row.replacement.c_str(), handler.c_str(), FALSE));
        }
        standin::DeleteRecord(handler);
        source.Press(HotkeyClass::Class01, 2);
        CHECK(ImageBytes(Started(handler)) == FileBytes(row.replacement));
    }
    CHECK(StillRunning(*this));
}

TEST_CASE_FIXTURE(ServiceMachine, "a signed handler another program holds open for writing is not started, and is once it is let go")
{
    Console(false);  // the logon desktop: the handler's signature is checked
    SetLockedMode(HotkeyClass::Class02, 1, 1);  // the marker below may run there too
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring ostrel5 = folder.File(L"ostrel5.exe");  // the publisher's; LockedMode 1 by default
    const std::wstring brisk1 = folder.File(L"brisk_1.exe");
    {
        UniqueFile writer(CreateFileW(ostrel5.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(writer);
        source.Press(HotkeyClass::Class01, 5);
        source.Press(HotkeyClass::Class02, 1);  // dispatched after HotkeyNumber 5
        CHECK(Started(brisk1).at(L"desktop") == L"WinSta0\\WinLogon");
        CHECK(standin::NeverStarted(ostrel5));
        CHECK(StillRunning(*this));
    }
    source.Press(HotkeyClass::Class01, 5);
    CHECK(Started(ostrel5).at(L"desktop") == L"WinSta0\\WinLogon");
}

TEST_CASE_FIXTURE(ServiceMachine, "without MOLTEX32.DLL the service runs, answers presses and stops cleanly")
{
    Console(true);
    REQUIRE(DeleteFileW(folder.File(L"MOLTEX32.DLL").c_str()));
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    source.Press(HotkeyClass::Class01, 1);
    Started(ostrel1);
    CHECK(LpuLog(folder).empty());
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE("terminal services failing each call in turn: the press starts nothing or goes where the rules say, and the next press after the fault starts its handler")
{
    // WTSFreeMemory, the library's third function the service calls, cannot fail. The console
    // session query is kernel32's: see the in-process case below.
    struct Row {
        const char* name;
        const wchar_t* function;
        bool fromStartUp;     // failing from before the start (else from after it)
        DWORD number;         // the class-01 hotkey pressed while it fails
        bool startsMeanwhile;  // ... which still starts, on `desktop`
        const wchar_t* desktop;
    };
    const Row rows[] = {
        {"the connect state at a press: refused", L"WTSQuerySessionInformationW", false, 1, false, L"WinSta0\\Default"},
        {"the user's token at a press: refused", L"WTSQueryUserToken", false, 1, false, L"WinSta0\\Default"},
        {"the user name at start-up: no user's indicator; presses refused", L"WTSQuerySessionInformationW", true, 1,
         false, L"WinSta0\\Default"},
        {"the user's token at start-up: nobody at the console as far as the service knows, so the logon desktop",
         L"WTSQueryUserToken", true, 5, true, L"WinSta0\\WinLogon"},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        ServiceMachine machine;
        machine.Console(true);
        std::optional<standin::FailingStandInFunction> fault;
        if (row.fromStartUp) fault.emplace(row.function);
        REQUIRE_MESSAGE(machine.StartService(), machine.Service().Problem());
        // The user's indicator is started before the logon indicator, which StartService awaited.
        CHECK(standin::NeverStarted(machine.folder.File(L"kivrad.exe")) == row.fromStartUp);
        if (!fault) fault.emplace(row.function);

        const wchar_t ordinal[] = {static_cast<wchar_t>(L'0' + row.number), L'\0'};
        const std::wstring program = machine.folder.File((L"ostrel" + std::wstring(ordinal) + L".exe").c_str());
        if (row.startsMeanwhile) {
            machine.source.Press(HotkeyClass::Class01, row.number);
            CHECK(Started(program).at(L"desktop") == row.desktop);
            standin::DeleteRecord(program);
            fault->Clear();
        } else {
            const DWORD failedBefore = fault->FailedCalls();
            machine.source.Press(HotkeyClass::Class01, row.number);
            REQUIRE(fault->WaitForFailedCallsAbove(failedBefore));
            fault->Clear();
            // A later press that does start: the refused one is over by then.
            const std::wstring marker = machine.folder.File(L"ostrel2.exe");
            machine.source.Press(HotkeyClass::Class01, 2);
            Started(marker);
            CHECK(standin::NeverStarted(program));
        }
        CHECK(StillRunning(machine));
        machine.source.Press(HotkeyClass::Class01, row.number);
        CHECK(Started(program).at(L"desktop") == row.desktop);
        REQUIRE_MESSAGE(machine.Service().Stop(), machine.Service().Problem());
        CHECK(machine.Service().Status().dwWin32ExitCode == 0);
    }
}
}

// ServiceMain in the test program, for the two faults that lie out of reach of a service under
// wine's service control manager.
namespace {

HotkeySourceSeed InProcessSeed()
{
    HotkeySourceSeed seed;
    seed.capability = 0x33;  // HotkeyNumbers 1, 2, 5, 6
    return seed;
}

struct InProcessMachine {
    standin::TrustedTestRoot trusted;
    TestHotkeySource source{KeyFamily::SystemEvent, InProcessSeed()};
    const std::wstring ostrel1 = testfiles::BinPath(L"ostrel1.exe");
    const std::wstring ostrel2 = testfiles::BinPath(L"ostrel2.exe");
    explicit InProcessMachine(bool userAtConsole)
    {
        standin::ClearSessions();
        standin::SetConsoleSession(userAtConsole);
        for (const auto& program : {ostrel1, ostrel2, testfiles::BinPath(L"kivra.exe"), testfiles::BinPath(L"kivrad.exe")}) {
            standin::DeleteRecord(program);
        }
    }
    ~InProcessMachine() { standin::ClearSessions(); }
};

// WinVerifyTrust as the test program imports it: on its first call after Arm(), before it
// verifies, another process tries to change the file being checked.
struct ChangeDuringCheck {
    static inline ImportPatch* patch = nullptr;
    static inline std::wstring program;
    static inline std::atomic<bool> armed{false};
    static inline std::map<std::string, DWORD> attempts;

    static LONG WINAPI Verify(HWND window, GUID* action, LPVOID data)
    {
        if (armed.exchange(false)) attempts = standin::TryChangeFromAnotherProcess(program);
        return patch->Original<decltype(&WinVerifyTrust)>()(window, action, data);
    }
};

// WTSGetActiveConsoleSessionId as the test program imports it: no session at the console.
struct NoConsoleSession {
    static inline std::atomic<int> calls{0};
    static DWORD WINAPI Query()
    {
        ++calls;
        return 0xFFFFFFFF;
    }
};

}  // namespace

TEST_SUITE("faults") {
TEST_CASE("another program cannot change a handler between its signature check and its start")
{
    // The moment lies inside the service's process, between two of its own calls; a service
    // under wine's service control manager runs where the test cannot hold it there. So
    // ServiceMain runs here, and the test acts from inside the check (the program's import of
    // WinVerifyTrust, which then verifies as usual).
    InProcessMachine machine(false);  // the logon desktop: the signature is checked
    testfiles::ScratchDir dir;
    const std::wstring handler = dir.Copy(testfiles::BinPath(L"ostrel5.exe"), L"checked handler.exe");
    const std::wstring key = HotkeySubkeyPath(HotkeyClass::Class01, 2);
    testreg::SetString(key.c_str(), L"File", handler);
    testreg::SetString(key.c_str(), L"Parameters", L"");  // a registration names both
    testreg::SetDword(key.c_str(), L"LockedMode", 1);
    const ULONGLONG checkedBytes = FileBytes(handler);

    InProcessService service;
    service.Start();
    REQUIRE(service.WaitUntilStartupComplete());
    {
        ImportPatch verify("wintrust.dll", "WinVerifyTrust", reinterpret_cast<const void*>(&ChangeDuringCheck::Verify));
        ChangeDuringCheck::patch = &verify;
        ChangeDuringCheck::program = handler;
        ChangeDuringCheck::attempts.clear();
        ChangeDuringCheck::armed = true;
        machine.source.Press(HotkeyClass::Class01, 2);
        const Record record = Started(handler);
        CHECK(record.at(L"desktop") == L"WinSta0\\WinLogon");
        CHECK(ImageBytes(record) == checkedBytes);
        ChangeDuringCheck::patch = nullptr;
    }
    REQUIRE_FALSE(ChangeDuringCheck::attempts.empty());
    for (const char* change : {"write", "rename", "delete"}) {
        INFO(change);
        CHECK(ChangeDuringCheck::attempts.at(change) == ERROR_SHARING_VIOLATION);
    }
    CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
    REQUIRE(service.WaitUntilReturned());
    REQUIRE(started::WaitUntilAllEnded(15000));  // the scratch folder goes next
}

TEST_CASE("no session at the console when a press comes: nothing starts, and the next press after it does")
{
    // WTSGetActiveConsoleSessionId is kernel32's, which no library of the test prefix can stand in
    // for; Windows answers 0xFFFFFFFF while the console is between sessions. So ServiceMain runs
    // here and the answer is given at the program's import of the function.
    InProcessMachine machine(true);
    InProcessService service;
    service.Start();
    REQUIRE(service.WaitUntilStartupComplete());
    {
        ImportPatch noConsole("kernel32.dll", "WTSGetActiveConsoleSessionId",
                              reinterpret_cast<const void*>(&NoConsoleSession::Query));
        NoConsoleSession::calls = 0;
        machine.source.Press(HotkeyClass::Class01, 1);
        const ULONGLONG deadline = GetTickCount64() + 15000;
        while (NoConsoleSession::calls == 0 && GetTickCount64() < deadline) Sleep(20);
        REQUIRE(NoConsoleSession::calls > 0);
    }
    // The refused dispatch is over once a later press has started its handler.
    machine.source.Press(HotkeyClass::Class01, 2);
    Started(machine.ostrel2);
    CHECK(standin::NeverStarted(machine.ostrel1));
    machine.source.Press(HotkeyClass::Class01, 1);
    CHECK(Started(machine.ostrel1).at(L"desktop") == L"WinSta0\\Default");
    CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
    REQUIRE(service.WaitUntilReturned());
}
}
