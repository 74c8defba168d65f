// fnkeyd.exe as its own command-line client, started as a process by the test (so that its exit
// code is read in full: a Linux shell would show -1 as 255), against the service "fnkeyd".
#include <doctest.h>

#include <string>

#include "host/client.h"
#include "hotkey_source_fixture.h"
#include "registry_fixture.h"
#include "run_program.h"
#include "service_machine.h"
#include "service_program_folder.h"
#include "standins.h"

using testsvc::LpuLog;
using testsvc::ServiceMachine;

namespace {

constexpr DWORD kFailed = 0xFFFFFFFF;  // -1
constexpr const wchar_t* kCurrentSetting = L"Software\\Norvane\\SystemEvent\\CurrentSetting";

DWORD CurrentSetting()
{
    const auto value = testreg::GetDword(kCurrentSetting, nullptr);
    REQUIRE(value.has_value());
    return *value;
}

}  // namespace

TEST_SUITE("client") {
TEST_CASE("the argument: switch, keyword, number")
{
    struct Row {
        const wchar_t* argument;
        bool valid;
        ClientCommand command;
        DWORD index;
    };
    const Row rows[] = {
        {L"/open:5", true, ClientCommand::Open, 4},
        {L"-close:5", true, ClientCommand::Close, 4},
        {L"/query:1", true, ClientCommand::Query, 0},
        {L"/notify:32", true, ClientCommand::Notify, 31},
        {L"/open:7abc", true, ClientCommand::Open, 6},  // trailing text ignored
        {L"/open:+7", true, ClientCommand::Open, 6},
        {L"/open: 7", true, ClientCommand::Open, 6},
        {L"/openx", false, ClientCommand::Open, 0},
        {L"/OPEN:1", false, ClientCommand::Open, 0},
        {L"open:1", false, ClientCommand::Open, 0},
        {L"/opened:1", false, ClientCommand::Open, 0},
        {L"/open:0", false, ClientCommand::Open, 0},
        {L"/open:33", false, ClientCommand::Open, 0},
        {L"/open:-1", false, ClientCommand::Open, 0},
        {L"/open:4294967297", false, ClientCommand::Open, 0},  // out of range, not 1 modulo 2^32
        {L"/open:", false, ClientCommand::Open, 0},
        {L"/open:x", false, ClientCommand::Open, 0},
        {L"", false, ClientCommand::Open, 0},
        {L"/", false, ClientCommand::Open, 0},
    };
    for (const auto& row : rows) {
        CAPTURE(std::string(row.argument, row.argument + wcslen(row.argument)));
        ClientRequest request;
        REQUIRE(ParseClientArgument(row.argument, &request) == row.valid);
        if (!row.valid) continue;
        CHECK(request.command == row.command);
        CHECK(request.index == row.index);
    }
}

TEST_CASE("what the client does with the bit it read")
{
    struct Row {
        ClientCommand command;
        bool on;
        bool contact;
        DWORD control;
        int exitCode;
    };
    const Row rows[] = {
        {ClientCommand::Query, true, false, 0, 1},   {ClientCommand::Query, false, false, 0, 0},
        {ClientCommand::Open, true, false, 0, 0},    {ClientCommand::Open, false, true, 128, 0},
        {ClientCommand::Close, false, false, 0, 0},  {ClientCommand::Close, true, true, 128, 0},
        {ClientCommand::Notify, true, true, 129, 0}, {ClientCommand::Notify, false, true, 129, 0},
    };
    for (const auto& row : rows) {
        CAPTURE(static_cast<int>(row.command));
        CAPTURE(row.on);
        ClientRequest request;
        request.command = row.command;
        request.index = 9;
        const ClientStep step = DecideClientStep(request, row.on ? 0x200 : 0xFFFFFDFF);
        CHECK(step.contactService == row.contact);
        if (step.contactService) CHECK(step.control == row.control);
        else CHECK(step.exitCode == row.exitCode);
    }
}

TEST_CASE_FIXTURE(ServiceMachine, "malformed arguments exit -1 before anything else happens")
{
    for (const wchar_t* arguments : {L"/query:1 /query:2", L"query:1", L"/OPEN:1", L"/opened:1", L"/open:0", L"/open:33",
                                     L"/open:-1", L"/open:", L"/open:x", L"\"\""}) {
        CAPTURE(std::string(arguments, arguments + wcslen(arguments)));
        CHECK(testproc::ExitCodeOf(folder.Service(), arguments) == kFailed);
    }
    CHECK(LpuLog(folder).empty());  // the library, the client's first step, was never loaded
}

TEST_CASE("without an argument the program is the service: outside the service control manager it ends at once with 0")
{
    testfiles::ServiceProgramFolder folder;
    CHECK(testproc::ExitCodeOf(folder.Service(), L"") == 0);
}

TEST_CASE("with no service installed, a change fails and a query still answers")
{
    testfiles::ServiceProgramFolder folder;
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    testreg::SetDword(kCurrentSetting, nullptr, 0x1);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"/open:2") == kFailed);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"/query:1") == 1);
}

TEST_CASE_FIXTURE(ServiceMachine, "with the service stopped: query answers, open and close answer when nothing must change")
{
    testreg::SetDword(kCurrentSetting, nullptr, 0x11);  // HotkeyNumbers 1 and 5 on
    struct Row {
        const wchar_t* arguments;
        DWORD exitCode;
    };
    const Row rows[] = {
        {L"/query:1", 1}, {L"-query:5", 1}, {L"/query:2", 0}, {L"/query:32", 0},
        {L"/open:1", 0},  // already on: the service is not asked
        {L"/close:2", 0},  // already off
    };
    for (const auto& row : rows) {
        CAPTURE(std::string(row.arguments, row.arguments + wcslen(row.arguments)));
        CHECK(testproc::ExitCodeOf(folder.Service(), row.arguments) == row.exitCode);
    }
    CHECK(CurrentSetting() == 0x11u);

    // A change needs the running service: after its retries the client gives up.
    for (const wchar_t* arguments : {L"/open:2", L"/close:1", L"/notify:1"}) {
        CAPTURE(std::string(arguments, arguments + wcslen(arguments)));
        CHECK(testproc::ExitCodeOf(folder.Service(), arguments) == kFailed);
    }
    CHECK(CurrentSetting() == 0x11u);

    SUBCASE("and no CurrentSetting value, no CurrentSetting key, or no root: every command fails")
    {
        testreg::DeleteValue(kCurrentSetting, nullptr);
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/query:1") == kFailed);
        testreg::DeleteTree(kCurrentSetting);  // the root stays
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/query:1") == kFailed);
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/close:1") == kFailed);
        CleanHotkeyRegistry::Wipe();
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/query:1") == kFailed);
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/open:1") == kFailed);
    }
}

TEST_CASE_FIXTURE(ServiceMachine, "with the service running: open and close change the bit, notify presses the hotkey")
{
    Console(true);
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    REQUIRE(CurrentSetting() == 0x33u);  // switched on at start

    CHECK(testproc::ExitCodeOf(folder.Service(), L"/close:2") == 0);
    CHECK(CurrentSetting() == 0x31u);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"/query:2") == 0);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"/close:2") == 0);  // already off: unchanged
    CHECK(CurrentSetting() == 0x31u);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"-open:2") == 0);
    CHECK(CurrentSetting() == 0x33u);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"/open:9") == 0);  // not served, but the bit is the client's to ask for
    CHECK(CurrentSetting() == 0x133u);

    const std::wstring ostrel1 = folder.File(L"ostrel1.exe");
    standin::DeleteRecord(ostrel1);
    CHECK(testproc::ExitCodeOf(folder.Service(), L"/notify:1") == 0);
    CHECK_FALSE(standin::WaitForRecord(ostrel1).empty());
}
}
