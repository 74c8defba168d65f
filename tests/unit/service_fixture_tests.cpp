// The service fixture against the smallest real service (minisvc): what every test of fnkeyd as a
// service relies on -- install, start, states with deadlines, stop, kill when stuck, delete, and a
// crash reported with its exception code.
#include <doctest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "append_line.h"
#include "service_under_test.h"
#include "standins.h"
#include "test_files.h"

using testsvc::ServiceUnderTest;

namespace {

std::wstring UniqueServiceName()
{
    static int counter = 0;
    return L"fnkeytest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

std::wstring MiniService(const wchar_t* arguments = L"")
{
    return L"\"" + testfiles::BinPath(L"minisvc.exe") + L"\" " + arguments;
}

// Whether the service control manager still knows `name`.
bool ServiceExists(const std::wstring& name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    REQUIRE(manager);
    UniqueServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS));
    return service.IsValid();
}

bool ProcessRunning(DWORD processId)
{
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

TEST_SUITE("service_fixture") {
TEST_CASE("a service is installed, started, stopped with exit code 0, and gone afterwards")
{
    const std::wstring name = UniqueServiceName();
    {
        ServiceUnderTest service(name, MiniService());
        CHECK(service.Status().dwCurrentState == SERVICE_STOPPED);
        REQUIRE(service.Start());
        REQUIRE_MESSAGE(service.WaitForState(SERVICE_RUNNING), service.Problem());
        CHECK(service.Status().dwProcessId != 0);
        REQUIRE_MESSAGE(service.Stop(), service.Problem());
        CHECK(service.Status().dwWin32ExitCode == 0);
    }
    CHECK_FALSE(ServiceExists(name));
}

TEST_CASE("a service that does not stop is killed and deleted when the test is done")
{
    const std::wstring name = UniqueServiceName();
    DWORD processId = 0;
    {
        ServiceUnderTest service(name, MiniService(L"--ignore-stop"), 1000);
        REQUIRE(service.Start());
        REQUIRE_MESSAGE(service.WaitForState(SERVICE_RUNNING), service.Problem());
        processId = service.Status().dwProcessId;
        CHECK_FALSE(service.Stop(500));
        CHECK(service.Problem().find("still RUNNING") != std::string::npos);
        CHECK(ProcessRunning(processId));
    }
    CHECK_FALSE(ProcessRunning(processId));
    CHECK_FALSE(ServiceExists(name));
}

TEST_CASE("a crashing service is reported at once with its exception code")
{
    const std::wstring name = UniqueServiceName();
    ServiceUnderTest service(name, MiniService());
    REQUIRE(service.Start());
    REQUIRE_MESSAGE(service.WaitForState(SERVICE_RUNNING), service.Problem());
    service.Control(128);  // crashes the service's dispatcher thread
    const ULONGLONG started = GetTickCount64();
    CHECK_FALSE(service.WaitForState(SERVICE_STOPPED, 60000));
    CHECK(GetTickCount64() - started < 20000);  // well before the deadline: the crash ended the wait
    CHECK(service.Problem().find("crashed with exception 0xC0000005") != std::string::npos);
}

TEST_CASE("\"never started\" sees a running process of the very file, started by its short path, and no namesake")
{
    testfiles::ScratchDir here, elsewhere;
    const std::wstring program = here.Copy(testfiles::BinPath(L"recorder.exe"), L"some program.exe");
    const std::wstring namesake = elsewhere.Copy(testfiles::BinPath(L"recorder.exe"), L"some program.exe");
    wchar_t shortPath[MAX_PATH];
    REQUIRE(GetShortPathNameW(program.c_str(), shortPath, MAX_PATH) != 0);
    std::wstring commandLine = std::wstring(shortPath) + L" --linger";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    REQUIRE(CreateProcessW(shortPath, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    REQUIRE(standin::WaitForStartCount(program, 1));
    standin::DeleteRecord(program);  // its start mark gone: only the process shows it

    CHECK_FALSE(standin::NeverStarted(program));
    CHECK(standin::NeverStarted(namesake));
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 10000);
    CHECK(standin::NeverStarted(program));
}

TEST_CASE("lines appended by many writers at once are all there, whole and unmixed")
{
    // What the stand-ins' start marks and logs rely on when several processes start or unload at
    // once. Writers in threads of one process race for the end of the file just as processes do.
    testfiles::ScratchDir here;
    const std::wstring log = here.File(L"marks.started");
    constexpr int kWriters = 4;
    constexpr int kLines = 400;
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.emplace_back([&, writer] {
            for (int i = 0; i < kLines; ++i) {
                char line[32];
                const int length = std::snprintf(line, sizeof line, "pid=%d%04d\n", writer + 1, i);
                if (!AppendLineAlone(log.c_str(), line, static_cast<DWORD>(length))) ++failures[writer];
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    for (int writer = 0; writer < kWriters; ++writer) CHECK(failures[writer] == 0);

    FILE* in = _wfopen(log.c_str(), L"r");
    REQUIRE(in != nullptr);
    std::set<std::string> lines;
    size_t count = 0;
    char line[64];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        ++count;
        lines.insert(line);
    }
    fclose(in);
    CHECK(count == kWriters * kLines);
    size_t wellFormed = 0;
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kLines; ++i) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "pid=%d%04d\n", writer + 1, i);
            wellFormed += lines.count(expected);
        }
    }
    CHECK(wellFormed == kWriters * kLines);
}
}
