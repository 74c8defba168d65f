// The benchmark: each figure of the service and the prompt measured beside its baseline in one
// run, interleaved, under wine. Prints one table and writes the figures as JSON.
// Usage: fnkey_bench <results.json> <32-bit fnkeyd.exe> <GlanceUIApp.exe> [--quick]
#include <windows.h>
#include <psapi.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/handler_resolution.h"
#include "dispatch/signature_check.h"
#include "host/service_state.h"
#include "hotkey_source_fixture.h"
#include "registry_fixture.h"
#include "run_program.h"
#include "service_machine.h"
#include "service_under_test.h"
#include "standins.h"
#include "test_files.h"

namespace {

constexpr const wchar_t* kFloorKey = L"Software\\FnkeyBench\\Notification";
constexpr DWORD kHandlerDeadlineMs = 15000;

// A figure that could not be measured: the run says which and why, and ends nonzero.
struct BenchFailure {
    std::string what;
};

[[noreturn]] void Fail(const std::string& what)
{
    throw BenchFailure{what};
}

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double CounterToMs(long long counter)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Quantile(std::vector<double> samples, double q)
{
    if (samples.empty()) Fail("a figure has no samples");
    std::sort(samples.begin(), samples.end());
    const double position = q * static_cast<double>(samples.size() - 1);
    const size_t below = static_cast<size_t>(std::floor(position));
    const size_t above = std::min(below + 1, samples.size() - 1);
    return samples[below] + (samples[above] - samples[below]) * (position - static_cast<double>(below));
}

double Median(const std::vector<double>& samples) { return Quantile(samples, 0.5); }
double P95(const std::vector<double>& samples) { return Quantile(samples, 0.95); }

struct Figure {
    std::string name;
    std::string unit;
    double value;
    std::optional<double> baseline;
    std::string goal;  // "ratio <= 1.10", "<= 256 KiB", "0 ms"
    bool met;
};

std::vector<Figure> g_figures;
std::vector<std::string> g_notes;

void AddRatio(const std::string& name, const std::string& unit, double value, double baseline, double goal)
{
    const double ratio = value / baseline;
    char text[32];
    std::snprintf(text, sizeof text, "ratio <= %.2f", goal);
    g_figures.push_back({name, unit, value, baseline, text, ratio <= goal});
}

void AddAbsolute(const std::string& name, const std::string& unit, double value, double limit, const std::string& goal)
{
    g_figures.push_back({name, unit, value, std::nullopt, goal, value <= limit});
}

// The handler's timestamp file for `handler` and tag `tag`.
std::wstring StampFile(const std::wstring& handler, DWORD tag)
{
    return handler + L"." + std::to_wstring(tag) + L".t";
}

// The timestamps the handler wrote (one line a start).
std::vector<double> ReadStamps(const std::wstring& file)
{
    std::vector<double> stamps;
    FILE* in = _wfopen(file.c_str(), L"r");
    if (in == nullptr) return stamps;
    long long counter = 0;
    while (std::fscanf(in, "%lld", &counter) == 1) stamps.push_back(CounterToMs(counter));
    std::fclose(in);
    return stamps;
}

// Waits until the handler has written its stamp; its time in ms on the Now() scale.
double WaitForStamp(const std::wstring& handler, DWORD tag, const std::string& figure)
{
    const std::wstring file = StampFile(handler, tag);
    const ULONGLONG deadline = GetTickCount64() + kHandlerDeadlineMs;
    for (;;) {
        const std::vector<double> stamps = ReadStamps(file);
        if (!stamps.empty()) return stamps.front();
        if (GetTickCount64() >= deadline) {
            // A handler that started but could not write its stamp says why.
            std::string reason = "no start seen";
            if (FILE* report = _wfopen((file + L".err").c_str(), L"r")) {
                unsigned long error = 0;
                if (std::fscanf(report, "%lu", &error) == 1) reason = "it started but could not write it: error " + std::to_string(error);
                std::fclose(report);
            }
            Fail(figure + ": the handler never reported (" + std::string(file.begin(), file.end()) + "; " + reason + ")");
        }
        Sleep(1);
    }
}

void ClearStamps(const std::wstring& handler)
{
    for (DWORD tag = 0; tag <= 32; ++tag) {
        DeleteFileW(StampFile(handler, tag).c_str());
        DeleteFileW((StampFile(handler, tag) + L".err").c_str());
    }
}

// Starts `program` with `arguments`; its process handle.
HANDLE Start(const std::wstring& program, const std::wstring& arguments)
{
    UniqueKernelHandle process = testproc::StartProgram(program, arguments);
    if (!process) {
        Fail("cannot start " + std::string(program.begin(), program.end()) + ": error " + std::to_string(GetLastError()));
    }
    return process.Release();
}

// Start to exit of `program`, in ms.
double RunToExit(const std::wstring& program, const std::wstring& arguments, DWORD* exitCode = nullptr)
{
    const double begin = Now();
    const HANDLE process = Start(program, arguments);
    if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0) Fail(std::string(program.begin(), program.end()) + " did not end");
    const double end = Now();
    if (exitCode != nullptr) GetExitCodeProcess(process, exitCode);
    CloseHandle(process);
    return end - begin;
}

// The floor's press: the same read and one write of the press signal that the hotkey source does.
void FloorPress(DWORD number)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFloorKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) Fail("floor key missing");
    DWORD value = 0, size = sizeof value;
    RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    value ^= 1u << (number - 1);
    RegSetValueExW(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

struct Bench {
    bool quick;
    std::wstring shippedService, prompt;
    testfiles::ServiceProgramFolder folder;
    standin::TrustedTestRoot trusted;
    TestHotkeySource source{KeyFamily::SystemEvent, [] {
                                HotkeySourceSeed seed;
                                seed.capability = 0xFFFFFFFF;
                                seed.internal = 0;  // every HotkeyNumber is the service's
                                seed.type2 = 0x3;
                                return seed;
                            }()};
    std::wstring handler = folder.File(L"bench_handler.exe");   // signed, beside the service
    std::wstring floorHandler;                                  // the same program, for the floor
    testfiles::ScratchDir floorDir;
    std::unique_ptr<testsvc::ServiceUnderTest> service;
    std::unique_ptr<testsvc::ServiceUnderTest> minimal;
    HANDLE floorProcess = nullptr;

    Bench(bool quickRun, std::wstring shipped, std::wstring promptProgram)
        : quick(quickRun), shippedService(std::move(shipped)), prompt(std::move(promptProgram))
    {
        if (!CopyFileW(testfiles::BinPath(L"bench_handler_signed.exe").c_str(), handler.c_str(), FALSE))
            Fail("the signed bench handler is missing");
        floorHandler = floorDir.Copy(testfiles::BinPath(L"bench_handler_signed.exe"), L"bench_handler.exe");
        for (DWORD number = 1; number <= 32; ++number) {
            const std::wstring key = testsvc::HotkeySubkeyPath(HotkeyClass::Class01, number);
            testreg::SetString(key.c_str(), L"File", handler);
            testreg::SetString(key.c_str(), L"Parameters", std::to_wstring(number));
            testreg::SetDword(key.c_str(), L"LockedMode", 1);
        }
        testreg::DeleteTree(L"Software\\FnkeyBench");
        testreg::SetDword(kFloorKey, nullptr, 0);
        floorProcess = Start(testfiles::BinPath(L"bench_floor.exe"), std::wstring(kFloorKey) + L" \"" + floorHandler + L"\"");
        Console(true);
        service = std::make_unique<testsvc::ServiceUnderTest>(L"fnkeyd", L"\"" + folder.Service() + L"\"");
        minimal = std::make_unique<testsvc::ServiceUnderTest>(L"fnkeybench_minimal", L"\"" + testfiles::BinPath(L"minisvc.exe") + L"\"");
    }

    ~Bench()
    {
        service.reset();
        minimal.reset();
        if (floorProcess != nullptr) {
            TerminateProcess(floorProcess, 0);
            WaitForSingleObject(floorProcess, 5000);
            CloseHandle(floorProcess);
        }
        testreg::DeleteTree(L"Software\\FnkeyBench");
        standin::ClearSessions();
    }

    void Console(bool user) const
    {
        standin::SetConsoleSession(user, L"bench");
    }

    void StartService()
    {
        const std::wstring logon = folder.File(L"kivra.exe");
        standin::DeleteRecord(logon);
        if (!service->Start() || !service->WaitForState(SERVICE_RUNNING)) Fail("the service does not start: " + service->Problem());
        if (standin::WaitForRecord(logon, 30000).empty()) Fail("the service's start-up never completed");
    }

    void StopService()
    {
        if (!service->Stop()) Fail("the service does not stop: " + service->Problem());
    }

    // One press through the service and one through the floor, alternating; ms each.
    // `figure` names the figure in a failure ("press, user desktop").
    void Presses(const std::string& figure, int count, DWORD number, std::vector<double>* viaService,
                 std::vector<double>* viaFloor)
    {
        for (int i = 0; i < 2 * count; ++i) {
            const bool floor = (i % 2) == 1;
            const std::wstring& program = floor ? floorHandler : handler;
            ClearStamps(program);
            const double begin = Now();
            if (floor) FloorPress(number);
            else source.Press(HotkeyClass::Class01, number);
            const double started = WaitForStamp(program, number, (floor ? "floor " : "") + figure);
            (floor ? viaFloor : viaService)->push_back(started - begin);
        }
    }

    // 32 different hotkeys pressed one after another; ms to the last start. All 32 must start once.
    double Burst(bool floor)
    {
        const std::wstring& program = floor ? floorHandler : handler;
        ClearStamps(program);
        const double begin = Now();
        for (DWORD number = 1; number <= 32; ++number) {
            if (floor) FloorPress(number);
            else source.Press(HotkeyClass::Class01, number);
        }
        double last = 0;
        for (DWORD number = 1; number <= 32; ++number) last = std::max(last, WaitForStamp(program, number, "burst"));
        if (!floor) {
            // A marker: an event the service dispatches only after every earlier pass. Once it
            // has started, the burst's dispatching is over, and a second start of any hotkey
            // would show as a second line. (The floor starts in the order it reads, in one loop.)
            const std::wstring marker = folder.File(L"brisk_1.exe");
            standin::DeleteRecord(marker);
            source.Press(HotkeyClass::Class02, 1);
            if (standin::WaitForRecord(marker, kHandlerDeadlineMs).empty()) Fail("burst: the marker event never started");
        }
        for (DWORD number = 1; number <= 32; ++number) {
            if (ReadStamps(StampFile(program, number)).size() != 1)
                Fail(std::string(floor ? "floor " : "") + "burst: hotkey " + std::to_string(number) + " started more than once");
        }
        return last - begin;
    }
};

void PrintTable()
{
    std::printf("\n%-58s %12s %12s %8s  %-16s %s\n", "figure", "value", "baseline", "ratio", "goal", "");
    for (const Figure& f : g_figures) {
        char baseline[32] = "-", ratio[32] = "-";
        if (f.baseline) {
            std::snprintf(baseline, sizeof baseline, "%.2f", *f.baseline);
            std::snprintf(ratio, sizeof ratio, "%.2f", f.value / *f.baseline);
        }
        std::printf("%-58s %9.2f %-2s %12s %8s  %-16s %s\n", f.name.c_str(), f.value, f.unit.c_str(), baseline, ratio,
                    f.goal.c_str(), f.met ? "met" : "MISSED");
    }
    for (const std::string& note : g_notes) std::printf("%s\n", note.c_str());
}

void WriteJson(const std::wstring& path)
{
    FILE* out = _wfopen(path.c_str(), L"w");
    if (out == nullptr) Fail("cannot write the results file");
    std::fprintf(out, "[\n");
    for (size_t i = 0; i < g_figures.size(); ++i) {
        const Figure& f = g_figures[i];
        std::fprintf(out, "  {\"name\": \"%s\", \"unit\": \"%s\", \"value\": %.4f, ", f.name.c_str(), f.unit.c_str(), f.value);
        if (f.baseline) {
            std::fprintf(out, "\"baseline\": %.4f, \"ratio\": %.4f, ", *f.baseline, f.value / *f.baseline);
        } else {
            std::fprintf(out, "\"baseline\": null, \"ratio\": null, ");
        }
        std::fprintf(out, "\"goal\": \"%s\", \"met\": %s}%s\n", f.goal.c_str(), f.met ? "true" : "false",
                     i + 1 < g_figures.size() ? "," : "");
    }
    std::fprintf(out, "]\n");
    std::fclose(out);
}

// The press's road in this process, step by step, with the service's own code: what each costs.
void ProfileSteps(const Bench& bench, int count)
{
    ServiceState& state = g_serviceState;
    state.keyFamily = KeyFamily::SystemEvent;
    state.isWindows7OrLater = TRUE;
    std::map<std::string, std::vector<double>> steps;
    for (int i = 0; i < count; ++i) {
        HandlerSpec spec{};
        double t = Now();
        if (!ResolveHandler(HotkeyClass::Class01, 0, &spec)) Fail("profile: no handler resolves");  // HotkeyNumber 1
        steps["resolution"].push_back(Now() - t);

        HANDLE token = nullptr;
        t = Now();
        if (!WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token)) Fail("profile: no user token");
        steps["user token"].push_back(Now() - t);

        void* environment = nullptr;
        t = Now();
        CreateEnvironmentBlock(&environment, token, TRUE);
        steps["environment block"].push_back(Now() - t);

        t = Now();
        VerifyPublisherSignature(spec.applicationPath, INVALID_HANDLE_VALUE, kPublisherName);
        steps["signature check (logon desktop only)"].push_back(Now() - t);

        ClearStamps(bench.handler);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        wchar_t commandLine[MAX_PATH];
        wcscpy_s(commandLine, spec.commandLine);
        t = Now();
        if (!CreateProcessAsUserW(token, spec.applicationPath, commandLine, nullptr, nullptr, FALSE,
                                  CREATE_UNICODE_ENVIRONMENT, environment, nullptr, &startup, &info)) {
            Fail("profile: CreateProcessAsUserW failed");
        }
        const double created = Now();
        SetThreadPriority(info.hThread, THREAD_PRIORITY_HIGHEST);
        const double raised = Now();
        const double entered = WaitForStamp(bench.handler, 1, "profile");
        steps["CreateProcessAsUserW call"].push_back(created - t);
        steps["thread priority"].push_back(raised - created);
        steps["process creation to the handler's entry"].push_back(entered - t);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        DestroyEnvironmentBlock(environment);
        CloseHandle(token);
    }
    g_notes.push_back("\nthe press's road, step by step (median ms, the service's own code in this process):");
    for (const auto& [name, samples] : steps) {
        char line[128];
        std::snprintf(line, sizeof line, "  %-44s %8.3f", name.c_str(), Median(samples));
        g_notes.push_back(line);
    }
}

// Start to the visible window captioned `caption`, then closed; ms.
double DialogStart(const std::wstring& program, const wchar_t* caption)
{
    const double begin = Now();
    const HANDLE process = Start(program, L"");
    HWND window = nullptr;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while ((window = FindWindowW(nullptr, caption)) == nullptr || !IsWindowVisible(window)) {
        if (GetTickCount64() >= deadline) Fail(std::string(program.begin(), program.end()) + " showed no window");
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) Fail(std::string(program.begin(), program.end()) + " ended without a window");
        Sleep(1);
    }
    const double shown = Now() - begin;
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
    CloseHandle(process);
    return shown;
}

double FileKiB(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) Fail("no file " + std::string(path.begin(), path.end()));
    return static_cast<double>(data.nFileSizeLow) / 1024.0;
}

HANDLE OpenServiceProcess(testsvc::ServiceUnderTest& service)
{
    const DWORD pid = service.Status().dwProcessId;
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) Fail("cannot open the service's process");
    return process;
}

void Run(Bench& bench)
{
    const int presses = bench.quick ? 10 : 200;
    const int bursts = bench.quick ? 1 : 8;
    const int runs = bench.quick ? 3 : 20;

    std::printf("press -> handler, user desktop (%d presses each)\n", presses);
    bench.StartService();
    std::vector<double> service, floor;
    bench.Presses("press, user desktop", presses, 2, &service, &floor);
    AddRatio("press -> handler, user desktop, median", "ms", Median(service), Median(floor), 1.10);
    AddRatio("press -> handler, user desktop, p95", "ms", P95(service), P95(floor), 1.5);
    const double floorPress = Median(floor);

    std::printf("burst of 32 hotkeys (%d each)\n", bursts);
    std::vector<double> burst, floorBurst;
    for (int i = 0; i < bursts; ++i) {
        burst.push_back(bench.Burst(false));
        floorBurst.push_back(bench.Burst(true));
    }
    AddRatio("burst of 32 hotkeys -> last handler (32 of 32, each once)", "ms", Median(burst), Median(floorBurst), 1.2);

    std::printf("client and trivial program (%d each)\n", runs);
    std::vector<double> notify, query, trivial;
    for (int i = 0; i < runs; ++i) {
        ClearStamps(bench.handler);
        const double begin = Now();
        const HANDLE client = Start(bench.folder.Service(), L"/notify:2");
        notify.push_back(WaitForStamp(bench.handler, 2, "client round trip") - begin);
        WaitForSingleObject(client, 30000);
        CloseHandle(client);
        DWORD exitCode = 0;
        query.push_back(RunToExit(bench.folder.Service(), L"/query:2", &exitCode));
        if (exitCode != 0 && exitCode != 1) Fail("fnkeyd /query:2 answered " + std::to_string(exitCode));
        trivial.push_back(RunToExit(testfiles::BinPath(L"bench_trivial.exe"), L""));
    }
    AddRatio("fnkeyd /notify:N started -> handler", "ms", Median(notify), Median(trivial) + floorPress, 1.2);
    AddRatio("fnkeyd /query:N wall time", "ms", Median(query), Median(trivial), 1.5);

    std::printf("idle (%d s)\n", bench.quick ? 3 : 30);
    {
        const HANDLE process = OpenServiceProcess(*bench.service);
        if (!bench.minimal->Start() || !bench.minimal->WaitForState(SERVICE_RUNNING)) Fail("the minimal service does not start");
        const HANDLE minimal = OpenServiceProcess(*bench.minimal);
        FILETIME created, exited, kernel0, user0, kernel1, user1;
        if (!GetProcessTimes(process, &created, &exited, &kernel0, &user0)) Fail("the service's processor time cannot be read");
        Sleep(bench.quick ? 3000 : 30000);
        if (!GetProcessTimes(process, &created, &exited, &kernel1, &user1)) Fail("the service's processor time cannot be read");
        const auto ticks = [](const FILETIME& t) { return static_cast<double>(ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart); };
        const double cpuMs = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 10000.0;
        AddAbsolute("idle CPU time of the service without presses", "ms", cpuMs, 0.0, "0 ms");
        PROCESS_MEMORY_COUNTERS mine{}, base{};
        if (!GetProcessMemoryInfo(process, &mine, sizeof mine)) Fail("the service's memory counters cannot be read");
        if (!GetProcessMemoryInfo(minimal, &base, sizeof base)) Fail("the minimal service's memory counters cannot be read");
        if (mine.WorkingSetSize == 0 || base.WorkingSetSize == 0) Fail("a service's working set reads as 0");
        AddRatio("idle commit charge (PagefileUsage)", "KiB", mine.PagefileUsage / 1024.0, base.PagefileUsage / 1024.0, 1.5);
        AddRatio("idle working set", "KiB", mine.WorkingSetSize / 1024.0, base.WorkingSetSize / 1024.0, 1.5);
        CloseHandle(process);
        CloseHandle(minimal);
        bench.minimal->Stop();
    }

    std::printf("sc start -> RUNNING (%d each)\n", runs / 2 + 1);
    std::vector<double> startService, startMinimal;
    bench.StopService();
    for (int i = 0; i < runs / 2 + 1; ++i) {
        for (testsvc::ServiceUnderTest* s : {bench.service.get(), bench.minimal.get()}) {
            const double begin = Now();
            if (!s->Start()) Fail("sc start failed: " + s->Problem());
            while (s->Status().dwCurrentState != SERVICE_RUNNING) {
                if (Now() - begin > 30000) Fail("a service did not report RUNNING");
                Sleep(1);
            }
            (s == bench.service.get() ? startService : startMinimal).push_back(Now() - begin);
            standin::WaitForRecord(bench.folder.File(L"kivra.exe"), s == bench.service.get() ? 30000 : 0);
            if (!s->Stop()) Fail("a service does not stop");
            standin::DeleteRecord(bench.folder.File(L"kivra.exe"));
            standin::DeleteRecord(bench.folder.File(L"kivrad.exe"));
        }
    }
    AddRatio("sc start -> RUNNING", "ms", Median(startService), Median(startMinimal), 1.5);

    std::printf("press -> handler, logon desktop (%d presses each)\n", presses);
    bench.Console(false);
    bench.StartService();
    std::vector<double> logon, logonFloor;
    bench.Presses("press, logon desktop", presses, 5, &logon, &logonFloor);
    AddRatio("press -> handler, logon desktop (publisher check), median", "ms", Median(logon), Median(logonFloor), 1.3);
    bench.StopService();
    bench.Console(true);

    std::printf("dialog programs (%d each)\n", runs / 2 + 1);
    std::vector<double> glance, dialog;
    for (int i = 0; i < runs / 2 + 1; ++i) {
        glance.push_back(DialogStart(bench.prompt, L"Glances"));
        dialog.push_back(DialogStart(testfiles::BinPath(L"bench_dialog.exe"), L"FnkeyBenchDialog"));
    }
    AddRatio("GlanceUIApp start -> dialog visible", "ms", Median(glance), Median(dialog), 1.3);

    AddAbsolute("size of the 32-bit fnkeyd.exe", "KiB", FileKiB(bench.shippedService), 256, "<= 256 KiB");
    AddAbsolute("size of GlanceUIApp.exe", "KiB", FileKiB(bench.prompt), 1024, "<= 1024 KiB");

    std::printf("the press's road, step by step\n");
    bench.Console(true);
    ProfileSteps(bench, bench.quick ? 3 : 30);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: fnkey_bench <results.json> <32-bit fnkeyd.exe> <GlanceUIApp.exe> [--quick]\n");
        return 2;
    }
    const bool quick = argc > 4 && std::wstring(argv[4]) == L"--quick";
    try {
        Bench bench(quick, argv[2], argv[3]);
        Run(bench);
    } catch (const BenchFailure& failure) {
        std::fprintf(stderr, "bench: FAILED: %s\n", failure.what.c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench: FAILED: %s\n", error.what());
        return 1;
    }
    PrintTable();
    WriteJson(argv[1]);
    return 0;
}
