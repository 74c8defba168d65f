// Deliberate crashes for the harness's own check (check-crash-reporting): skipped in every normal
// run, run only with --no-skip by that check, which asserts that each ends its run within seconds
// and names the exception code.
#include <doctest.h>

#include <windows.h>

#include <string>

#include "service_under_test.h"
#include "standins.h"
#include "test_files.h"

TEST_SUITE("crash_check") {
TEST_CASE("a test program that crashes" * doctest::skip())
{
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

TEST_CASE("a handler stand-in that crashes before writing its record" * doctest::skip())
{
    testfiles::ScratchDir dir;
    const std::wstring program = dir.Copy(testfiles::BinPath(L"recorder.exe"), L"crashing handler.exe");
    std::wstring commandLine = L"\"" + program + L"\" --crash";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    REQUIRE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Fails at once, not after the wait's full minute: the stand-in's start mark names its process.
    CHECK_FALSE(standin::WaitForRecord(program, 60000).empty());
}
TEST_CASE("a service under test that crashes" * doctest::skip())
{
    testsvc::ServiceUnderTest service(L"fnkeytest-crash-" + std::to_wstring(GetCurrentProcessId()),
                                      L"\"" + testfiles::BinPath(L"minisvc.exe") + L"\"");
    REQUIRE(service.Start());
    REQUIRE(service.WaitForState(SERVICE_RUNNING));
    service.Control(128);  // minisvc's crash on request
    CHECK(service.WaitForState(SERVICE_STOPPED, 60000));
}
}
