// The service under load: the custom controls while the hotkey-number section is rewritten, bursts
// of client commands and key presses, stops in the middle of a dispatch and of the indicators'
// retries, and fifty starts and stops in a row. Every case is bounded in count and in time.
//
// Two seams, as in the other service tests: fnkeyd.exe under wine's service control manager where
// the outside view is the point (exit codes, the process, controls as the client sends them), and
// ServiceMain in-process (tests/support/in_process_service.h) where the handle accounting of the
// counted owners must show, or where a launch has to be held or refused at the program's imports.
#include <doctest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/handler_resolution.h"
#include "host/client.h"
#include "host/control_handler.h"
#include "host/hotkey_number_section.h"
#include "host/indicator_plan.h"
#include "host/service_main.h"
#include "host/service_state.h"
#include "hotkey_source_fixture.h"
#include "import_patch.h"
#include "in_process_service.h"
#include "registry_fixture.h"
#include "service_machine.h"
#include "standins.h"
#include "started_processes.h"
#include "test_files.h"
#include "unique_handle.h"

using testsvc::InProcessService;
using testsvc::ServiceMachine;
using Events = std::vector<std::string>;

namespace {

constexpr const wchar_t* kCurrentSetting = L"Software\\Norvane\\SystemEvent\\CurrentSetting";
constexpr const wchar_t* kNotification = L"Software\\Norvane\\SystemEvent\\Notification";

DWORD Value(const wchar_t* path)
{
    const auto value = testreg::GetDword(path, nullptr);
    REQUIRE(value.has_value());
    return *value;
}

// The same numbers in every run, so that a failure can be replayed.
class Sequence {
public:
    explicit Sequence(uint32_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_;
    }
    uint32_t Below(uint32_t bound) { return (Next() >> 8) % bound; }

private:
    uint32_t state_;
};

// A thread of the test that is told to end and joined on every path out of its scope.
class Helper {
public:
    template <typename Body>
    explicit Helper(Body body) : thread_([this, body] { body(stop_); })
    {
    }
    ~Helper()
    {
        stop_ = true;
        thread_.join();
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The in-process machine: the default machine's hotkey registry, the console session with or
// without a user, the test PKI trusted. ServiceMain's programs are the bin folder's.
struct InProcessMachine {
    standin::TrustedTestRoot trusted;
    TestHotkeySource source{KeyFamily::SystemEvent, testsvc::DefaultMachineSeed()};
    long handlesBefore = HeldHandleCount();
    // Puts the test program into its job before anything starts, so that every process the
    // service starts from here on is counted and waited for.
    DWORD startedBefore = started::Count();
    explicit InProcessMachine(bool userAtConsole = true)
    {
        standin::ClearSessions();
        standin::SetConsoleSession(userAtConsole);
        for (const wchar_t* indicator : {kLogonIndicatorProgram, kUserIndicatorProgram}) {
            standin::DeleteRecord(testfiles::BinPath(indicator));
        }
    }
    ~InProcessMachine() { standin::ClearSessions(); }
};

// The program the running service starts for a press, as its own resolution finds it.
std::wstring HandlerOf(HotkeyClass hotkeyClass, DWORD number)
{
    HandlerSpec handler;
    REQUIRE(ResolveHandler(hotkeyClass, number - 1, &handler));
    return handler.applicationPath;
}


// CreateProcessAsUserW as the service's launches call it, replaced for a while (the replacement
// calls the real one unless it refuses).
using CreateProcessAsUser = decltype(&CreateProcessAsUserW);

bool EndsWith(const wchar_t* text, const wchar_t* end)
{
    if (text == nullptr) return false;
    const size_t length = wcslen(text);
    const size_t endLength = wcslen(end);
    return length >= endLength && _wcsicmp(text + length - endLength, end) == 0;
}

// Holds the next launch of `program` inside its process creation until released, so that a stop
// can be sent while that dispatch is in flight.
class HeldLaunch {
public:
    explicit HeldLaunch(const wchar_t* program)
    {
        program_ = program;
        held_ = 1;
        inFlight_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        release_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        REQUIRE(inFlight_);
        REQUIRE(release_);
        patch_ = std::make_unique<ImportPatch>("advapi32.dll", "CreateProcessAsUserW", reinterpret_cast<const void*>(&Create));
        original_ = patch_->Original<CreateProcessAsUser>();
    }
    ~HeldLaunch()
    {
        SetEvent(release_.Get());  // never leaves the watcher held, whatever happened
        patch_.reset();
        inFlight_.Reset();
        release_.Reset();
    }
    HeldLaunch(const HeldLaunch&) = delete;
    HeldLaunch& operator=(const HeldLaunch&) = delete;

    bool WaitUntilInFlight(DWORD timeoutMs) const { return WaitForSingleObject(inFlight_.Get(), timeoutMs) == WAIT_OBJECT_0; }
    void Release() const { SetEvent(release_.Get()); }

private:
    static BOOL WINAPI Create(HANDLE token, LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                              LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                              LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process)
    {
        if (EndsWith(application, program_) && held_.exchange(0) == 1) {
            SetEvent(inFlight_.Get());
            WaitForSingleObject(release_.Get(), 60000);
        }
        return original_(token, application, commandLine, processAttributes, threadAttributes, inherit, flags,
                         environment, directory, startup, process);
    }

    static inline const wchar_t* program_ = nullptr;
    static inline std::atomic<int> held_{0};
    static inline UniqueKernelHandle inFlight_;
    static inline UniqueKernelHandle release_;
    static inline std::unique_ptr<ImportPatch> patch_;
    static inline CreateProcessAsUser original_ = nullptr;  // a held call may still use it after the patch is gone
};

// Stands in for CreateProcessAsUserW refusing both indicator programs with ERROR_FILE_NOT_FOUND,
// which wine never does for a file that is there (a missing file fails before any process
// creation is tried: the launch holds and checks the file first). Signals the first refusal.
class RefusedIndicators {
public:
    RefusedIndicators()
    {
        refused_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        REQUIRE(refused_);
        patch_ = std::make_unique<ImportPatch>("advapi32.dll", "CreateProcessAsUserW", reinterpret_cast<const void*>(&Create));
        original_ = patch_->Original<CreateProcessAsUser>();
    }
    ~RefusedIndicators()
    {
        patch_.reset();
        refused_.Reset();
    }
    RefusedIndicators(const RefusedIndicators&) = delete;
    RefusedIndicators& operator=(const RefusedIndicators&) = delete;

    bool WaitForRefusal(DWORD timeoutMs) const { return WaitForSingleObject(refused_.Get(), timeoutMs) == WAIT_OBJECT_0; }

private:
    static BOOL WINAPI Create(HANDLE token, LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                              LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                              LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process)
    {
        if (EndsWith(application, kLogonIndicatorProgram) || EndsWith(application, kUserIndicatorProgram)) {
            SetEvent(refused_.Get());
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        return original_(token, application, commandLine, processAttributes, threadAttributes, inherit, flags,
                         environment, directory, startup, process);
    }

    static inline UniqueKernelHandle refused_;
    static inline std::unique_ptr<ImportPatch> patch_;
    static inline CreateProcessAsUser original_ = nullptr;  // a held call may still use it after the patch is gone
};

// Watches the process creations the service's launches ask for a few programs, passing each on:
// how many were asked, how many were refused and with which error. It tells a lost press (never
// asked) from a refused creation and from a started process that never wrote its start mark, when
// a press does not arrive.
class ObservedLaunches {
public:
    explicit ObservedLaunches(std::vector<std::wstring> programs)
    {
        REQUIRE(programs.size() <= kMaxPrograms);
        programs_ = std::move(programs);
        for (size_t i = 0; i < kMaxPrograms; ++i) {
            asked_[i] = 0;
            refused_[i] = 0;
            lastError_[i] = 0;
        }
        patch_ = std::make_unique<ImportPatch>("advapi32.dll", "CreateProcessAsUserW", reinterpret_cast<const void*>(&Create));
        original_ = patch_->Original<CreateProcessAsUser>();
    }
    ~ObservedLaunches() { patch_.reset(); }
    ObservedLaunches(const ObservedLaunches&) = delete;
    ObservedLaunches& operator=(const ObservedLaunches&) = delete;

    std::string Summary(const std::wstring& program) const
    {
        for (size_t i = 0; i < programs_.size(); ++i) {
            if (programs_[i] != program) continue;
            return std::to_string(asked_[i].load()) + " creations asked, " + std::to_string(refused_[i].load()) +
                   " refused (last error " + std::to_string(lastError_[i].load()) + ")";
        }
        return "not observed";
    }

private:
    static constexpr size_t kMaxPrograms = 4;

    static BOOL WINAPI Create(HANDLE token, LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                              LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                              LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process)
    {
        const BOOL created = original_(token, application, commandLine, processAttributes, threadAttributes, inherit,
                                       flags, environment, directory, startup, process);
        const DWORD error = GetLastError();
        for (size_t i = 0; application != nullptr && i < programs_.size(); ++i) {
            if (_wcsicmp(application, programs_[i].c_str()) != 0) continue;
            ++asked_[i];
            if (!created) {
                ++refused_[i];
                lastError_[i] = error;
            }
        }
        SetLastError(error);
        return created;
    }

    static inline std::vector<std::wstring> programs_;
    static inline std::atomic<unsigned> asked_[kMaxPrograms];
    static inline std::atomic<unsigned> refused_[kMaxPrograms];
    static inline std::atomic<DWORD> lastError_[kMaxPrograms];
    static inline std::unique_ptr<ImportPatch> patch_;
    static inline CreateProcessAsUser original_ = nullptr;
};

}  // namespace

TEST_SUITE("load") {
TEST_CASE_FIXTURE(ServiceMachine, "controls 128 and 129 while the section's index is rewritten: each flips exactly the bit its index names, modulo 32")
{
    Console(true);
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const DWORD served = Value(kCurrentSetting);  // what the service switched on at start: the hotkeys it serves
    REQUIRE(served == 0x33u);
    UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kHotkeyNumberSectionName));
    REQUIRE(section);

    DWORD setting = served;
    DWORD notification = Value(kNotification);
    // A 129 of a served bit is a press: its handler must start once. The test waits for each such
    // start before the next control, so that no two presses of one hotkey can cancel.
    std::map<DWORD, size_t> presses;  // HotkeyNumber -> 129s sent for it
    auto handler = [&](DWORD number) { return folder.File((L"ostrel" + std::to_wstring(number) + L".exe").c_str()); };
    auto send = [&](DWORD control, DWORD index) {
        CAPTURE(control);
        CAPTURE(index);
        const DWORD bit = 1u << (index & 31);
        REQUIRE(WriteHotkeyIndex(section.Get(), index));
        SERVICE_STATUS status{};
        REQUIRE(Service().Control(control, &status) == 0);
        REQUIRE(status.dwCurrentState == SERVICE_RUNNING);
        (control == kHotkeyControlToggleSetting ? setting : notification) ^= bit;
        REQUIRE(Value(kCurrentSetting) == setting);
        REQUIRE(Value(kNotification) == notification);
        if (control == kHotkeyControlToggleNotification && (bit & served) != 0) {
            const DWORD number = (index & 31) + 1;
            REQUIRE(standin::WaitForStartCount(handler(number), ++presses[number]));
        }
    };

    SUBCASE("one writer: the index written, then the control, for edge values and 400 others")
    {
        for (const DWORD index : {0u, 31u, 32u, 37u, 63u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
            send(kHotkeyControlToggleSetting, index);
            send(kHotkeyControlToggleNotification, index);
        }
        Sequence sequence(0x5EED);
        for (int i = 0; i < 400; ++i) {
            send(i % 2 == 0 ? kHotkeyControlToggleSetting : kHotkeyControlToggleNotification, sequence.Next());
        }
    }
    SUBCASE("the index rewritten meanwhile by another writer, always naming the same bit: that bit alone flips")
    {
        // Whichever of the writer's indices a control reads, it names bit 9 (HotkeyNumber 10, not
        // served, so 129 presses nothing): a read of anything else, or a read that mixes two
        // writes, flips another bit.
        constexpr DWORD kBit = 9;
        std::atomic<bool> writing{false};
        Helper writer([&section, &writing](std::atomic<bool>& stop) {
            for (DWORD round = 0; !stop; ++round) {
                WriteHotkeyIndex(section.Get(), (round % 0x7FFFFFFu) * 32 + kBit);
                writing = true;
            }
        });
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (!writing && GetTickCount64() < deadline) Sleep(1);
        REQUIRE(writing);  // the section names the bit before the first control
        for (int i = 0; i < 300; ++i) {
            const DWORD control = i % 2 == 0 ? kHotkeyControlToggleSetting : kHotkeyControlToggleNotification;
            CAPTURE(i);
            SERVICE_STATUS status{};
            REQUIRE(Service().Control(control, &status) == 0);
            (control == kHotkeyControlToggleSetting ? setting : notification) ^= 1u << kBit;
            REQUIRE(Value(kCurrentSetting) == setting);
            REQUIRE(Value(kNotification) == notification);
        }
    }

    // Every press has started its handler once, and nothing more started meanwhile: a press of
    // hotkey 1 last, and once it has started, the processes of the handlers end and their start
    // marks are final.
    const size_t markerBefore = presses[1];
    send(kHotkeyControlToggleNotification, 0);
    REQUIRE(standin::WaitUntilNoneRunning({L"ostrel1.exe", L"ostrel2.exe", L"ostrel5.exe", L"ostrel6.exe"}));
    CHECK(presses[1] == markerBefore + 1);
    for (const DWORD number : {1u, 2u, 5u, 6u}) {
        CAPTURE(number);
        CHECK(standin::StartCount(handler(number)) == presses[number]);
    }
    DWORD exitCode = 0;
    CHECK_FALSE(Service().ProcessEnded(&exitCode));
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE_FIXTURE(InProcessMachine, "1,000 client commands and 1,000 presses in bursts: every press that stood starts one handler, and every handle comes back")
{
    // In-process, for the handle accounting of the counted owners. The client's half of each
    // command is the client's own code run here (its decision on the bit it read, its write into
    // the section); the control then reaches the service's handler as the dispatcher would hand
    // it over. Starting fnkeyd.exe 1,000 times as a client under wine would take minutes; the
    // client program itself is host.client's.
    for (const wchar_t* program : {L"ostrel1.exe", L"ostrel2.exe", L"ostrel5.exe", L"ostrel6.exe", L"brisk_1.exe",
                                   L"brisk_2.exe"}) {
        standin::DeleteRecord(testfiles::BinPath(program));
    }
    {
        InProcessService service;
        service.Start();
        REQUIRE(service.WaitUntilStartupComplete());  // the indicators are started and counted by now
        const WatchMasks masks = g_serviceState.watchMasks;
        REQUIRE(masks.class01Mask == 0x33u);  // HotkeyNumbers 1, 2, 5, 6
        REQUIRE(masks.class02Mask == 0x3u);   // events 1, 2
        UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kHotkeyNumberSectionName));
        REQUIRE(section);

        // Each burst ends with a press of the highest served hotkey of each class, pressed
        // nowhere else: a pass dispatches class 01 in ascending order, then class 02, so once
        // both have started, every dispatch of the burst has created its process (one pass may
        // read the default value before and "Type2" after the burst's last writes, hence two).
        const std::wstring lastOf01 = HandlerOf(HotkeyClass::Class01, 6);
        const std::wstring lastOf02 = HandlerOf(HotkeyClass::Class02, 2);
        const ObservedLaunches launches({lastOf01, lastOf02});
        struct Press {
            HotkeyClass hotkeyClass;
            DWORD number;
        };
        // Served and unserved ones; the unserved must start nothing.
        const Press pool[] = {{HotkeyClass::Class01, 1}, {HotkeyClass::Class01, 2}, {HotkeyClass::Class01, 5},
                              {HotkeyClass::Class01, 3}, {HotkeyClass::Class01, 4}, {HotkeyClass::Class01, 9},
                              {HotkeyClass::Class02, 1}, {HotkeyClass::Class02, 3}};
        auto served = [&](const Press& press) {
            const DWORD mask = press.hotkeyClass == HotkeyClass::Class01 ? masks.class01Mask : masks.class02Mask;
            return ((mask >> (press.number - 1)) & 1) != 0;
        };

        constexpr int kBursts = 50;
        constexpr int kPressesPerBurst = 20;  // the two closing presses included; as many client commands
        DWORD setting = Value(kCurrentSetting);
        DWORD notification = Value(kNotification);
        std::map<std::wstring, size_t> pressed;   // program -> presses of its hotkey
        std::map<std::wstring, size_t> stood;     // program -> bursts in which they were odd in number
        Sequence sequence(0xB0057);
        int commands = 0;
        int presses = 0;
        const DWORD startedBefore = started::Count();

        // One client command, checked bit for bit: the client's decision, its control, the result.
        auto command = [&](std::map<std::wstring, size_t>& burst) {
            ClientRequest request;
            request.command = static_cast<ClientCommand>(sequence.Below(4));
            request.index = sequence.Below(32);
            // HotkeyNumber 6 closes each burst and is pressed nowhere else.
            if (request.command == ClientCommand::Notify && request.index == 5) request.index = 6;
            CAPTURE(static_cast<int>(request.command));
            CAPTURE(request.index);
            const ClientStep step = DecideClientStep(request, Value(kCurrentSetting));
            const DWORD bit = 1u << request.index;
            if (request.command == ClientCommand::Query) {
                REQUIRE(step.exitCode == ((setting & bit) != 0 ? 1 : 0));
            }
            if (step.contactService) {
                REQUIRE(WriteHotkeyIndex(section.Get(), request.index));
                REQUIRE(service.Control(step.control) == NO_ERROR);
            }
            if (request.command == ClientCommand::Open) setting |= bit;
            if (request.command == ClientCommand::Close) setting &= ~bit;
            if (request.command == ClientCommand::Notify) {
                notification ^= bit;  // a press of class-01 hotkey index + 1
                const Press press{HotkeyClass::Class01, request.index + 1};
                if (served(press)) ++burst[HandlerOf(press.hotkeyClass, press.number)];
            }
            REQUIRE(Value(kCurrentSetting) == setting);
            REQUIRE(Value(kNotification) == notification);
            ++commands;
        };
        auto press = [&](const Press& press, std::map<std::wstring, size_t>& burst) {
            source.Press(press.hotkeyClass, press.number);
            if (press.hotkeyClass == HotkeyClass::Class01) notification ^= 1u << (press.number - 1);
            if (served(press)) ++burst[HandlerOf(press.hotkeyClass, press.number)];
            ++presses;
        };

        for (int b = 0; b < kBursts; ++b) {
            CAPTURE(b);
            std::map<std::wstring, size_t> burst;  // program -> presses of its hotkey in this burst
            const DWORD startedBeforeBurst = started::Count();
            for (int i = 0; i < kPressesPerBurst - 2; ++i) {
                command(burst);
                press(pool[sequence.Below(std::size(pool))], burst);
            }
            command(burst);
            command(burst);
            press({HotkeyClass::Class01, 6}, burst);
            press({HotkeyClass::Class02, 2}, burst);
            for (const std::wstring& closing : {lastOf01, lastOf02}) {
                const bool arrived = standin::WaitForStartCount(closing, static_cast<size_t>(b) + 1, 30000);
                REQUIRE_MESSAGE(arrived, std::string(closing.begin(), closing.end())
                                             << ": " << standin::StartCount(closing) << " start marks, "
                                             << launches.Summary(closing) << "; class-02 signal "
                                             << source.Signal(HotkeyClass::Class02));
            }

            // A hotkey pressed n times in a burst starts at most n handlers, and as many as the
            // presses that stood: an odd n starts an odd number, an even n (pairs that may cancel
            // between two passes) an even number.
            size_t least = 0;
            size_t most = 0;
            for (const auto& [program, count] : burst) {
                least += count % 2;
                most += count;
                pressed[program] += count;
                stood[program] += count % 2;
            }
            const size_t startedInBurst = started::Count() - startedBeforeBurst;
            CHECK(startedInBurst >= least);
            CHECK(startedInBurst <= most);
            CHECK(startedInBurst % 2 == least % 2);
        }
        REQUIRE(commands == 1000);
        REQUIRE(presses == 1000);

        // Still running; once every handler has ended, each program's start marks are final.
        CHECK(g_serviceState.running);
        CHECK_FALSE(service.WaitUntilReturned(0));
        REQUIRE(started::WaitUntilAllEnded(30000));
        size_t marks = 0;
        for (const auto& [program, count] : pressed) {
            const std::string name(program.begin(), program.end());
            CAPTURE(name);
            const size_t starts = standin::StartCount(program);
            CHECK(starts >= stood[program]);
            CHECK(starts <= count);
            CHECK(starts % 2 == stood[program] % 2);
            marks += starts;
        }
        CHECK(standin::StartCount(lastOf01) == kBursts);
        CHECK(standin::StartCount(lastOf02) == kBursts);
        CHECK(marks == started::Count() - startedBefore);  // nothing else was started

        CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
        REQUIRE(service.WaitUntilReturned());
        CHECK(service.Events() == Events{"RUNNING 0", "STOPPED 0", "FreeLibrary MOLTEX32.DLL"});
    }
    CHECK(HeldHandleCount() == handlesBefore);
}

TEST_CASE("a stop while a handler's launch is in flight: the launch completes, then the service stops cleanly")
{
    // In-process: the launch is held inside its process creation at the program's import, which
    // is the only way to keep a dispatch in flight for as long as the test needs.
    struct Row {
        const char* name;
        bool pressPending;  // another press arrives while the launch is held
    };
    for (const Row row : {Row{"the held press alone", false}, Row{"another press pending: one more pass runs first", true}}) {
        INFO(std::string(row.name));
        InProcessMachine machine;
        for (const wchar_t* program : {L"ostrel1.exe", L"ostrel2.exe"}) standin::DeleteRecord(testfiles::BinPath(program));
        {
            InProcessService service;
            service.Start();
            REQUIRE(service.WaitUntilStartupComplete());
            HeldLaunch held(L"\\ostrel1.exe");  // released before the service is stopped on every way out
            const DWORD startedBefore = started::Count();
            const std::wstring one = HandlerOf(HotkeyClass::Class01, 1);
            const std::wstring two = HandlerOf(HotkeyClass::Class01, 2);
            machine.source.Press(HotkeyClass::Class01, 1);
            REQUIRE(held.WaitUntilInFlight(15000));
            if (row.pressPending) machine.source.Press(HotkeyClass::Class01, 2);
            CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
            // The watcher is held inside the launch, so ServiceMain still waits for it.
            CHECK_FALSE(service.WaitUntilReturned(0));
            held.Release();
            const ULONGLONG released = GetTickCount64();
            REQUIRE(service.WaitUntilReturned(10000));
            CHECK(GetTickCount64() - released < 10000);
            CHECK(service.Events() == Events{"RUNNING 0", "STOPPED 0", "FreeLibrary MOLTEX32.DLL"});
            REQUIRE(started::WaitUntilAllEnded(15000));
            CHECK(started::Count() - startedBefore == (row.pressPending ? 2u : 1u));
            CHECK(standin::StartCount(one) == 1);
            CHECK(standin::StartCount(two) == (row.pressPending ? 1u : 0u));
        }
        CHECK(HeldHandleCount() == machine.handlesBefore);
    }
}

TEST_CASE("a stop while the indicators' starts are retried ends the service within the retries' bound")
{
    const DWORD bound = kIndicatorStartAttempts * kIndicatorRetryPauseMs;
    SUBCASE("in-process, the start refused as for a file not found")
    {
        // With a user at the console both indicators are launched one after the other, each
        // retrying: the stop must not wait for both.
        for (const bool user : {true, false}) {
            CAPTURE(user);
            InProcessMachine machine(user);
            const DWORD startedBefore = started::Count();
            {
                RefusedIndicators refused;
                InProcessService service;
                service.Start();
                REQUIRE(refused.WaitForRefusal(15000));
                CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
                const ULONGLONG stopped = GetTickCount64();
                REQUIRE(service.WaitUntilReturned(bound + 30000));
                const ULONGLONG took = GetTickCount64() - stopped;
                CAPTURE(took);
                CHECK(took <= bound);
                CHECK(service.Events() == Events{"RUNNING 0", "STOPPED 0", "FreeLibrary MOLTEX32.DLL"});
            }
            CHECK(started::Count() == startedBefore);
            CHECK(HeldHandleCount() == machine.handlesBefore);
        }
    }
    SUBCASE("under the service control manager, the logon indicator's program deleted")
    {
        // A missing program fails the launch's publisher check, before any start is tried, so
        // this runs no retry (the in-process rows above do, refused as wine cannot refuse a file
        // it has opened); it shows that a stop right after the start-up's launches ends the real
        // service at once.
        ServiceMachine machine;
        machine.Console(true);
        REQUIRE(DeleteFileW(machine.folder.File(kLogonIndicatorProgram).c_str()));
        REQUIRE_MESSAGE(machine.Service().Start(), machine.Service().Problem());
        REQUIRE_MESSAGE(machine.Service().WaitForState(SERVICE_RUNNING), machine.Service().Problem());
        // The user's indicator comes first; the logon indicator's launch follows at once.
        REQUIRE(standin::WaitForStartCount(machine.folder.File(kUserIndicatorProgram), 1));
        const ULONGLONG stopping = GetTickCount64();
        REQUIRE_MESSAGE(machine.Service().Stop(bound), machine.Service().Problem());
        CHECK(GetTickCount64() - stopping <= bound);
        CHECK(machine.Service().Status().dwWin32ExitCode == 0);
    }
}

TEST_CASE("fifty starts and stops in a row: each runs, each stops with exit code 0, nothing is left behind")
{
    constexpr int kCycles = 50;
    SUBCASE("under the service control manager, a press just before each stop")
    {
        {
            ServiceMachine machine;
            machine.Console(false);  // the logon indicator alone; HotkeyNumber 5 may start there
            const std::wstring logonIndicator = machine.folder.File(kLogonIndicatorProgram);
            const std::wstring five = machine.folder.File(L"ostrel5.exe");
            for (int cycle = 0; cycle < kCycles; ++cycle) {
                CAPTURE(cycle);
                REQUIRE_MESSAGE(machine.Service().Start(), machine.Service().Problem());
                REQUIRE_MESSAGE(machine.Service().WaitForState(SERVICE_RUNNING), machine.Service().Problem());
                // The start-up is complete once its last step, the logon indicator, has started.
                REQUIRE(standin::WaitForStartCount(logonIndicator, static_cast<size_t>(cycle) + 1));
                machine.source.Press(HotkeyClass::Class01, 5);
                REQUIRE_MESSAGE(machine.Service().Stop(), machine.Service().Problem());
                REQUIRE(machine.Service().Status().dwWin32ExitCode == 0);
            }
            // Nothing but what the starts launched, and all of it ends by itself.
            REQUIRE(standin::WaitUntilNoneRunning({L"fnkeyd.exe", L"kivra.exe", L"kivrad.exe", L"ostrel5.exe"}));
            CHECK(standin::StartCount(logonIndicator) == kCycles);
            CHECK(standin::StartCount(machine.folder.File(kUserIndicatorProgram)) == 0);
            CHECK(standin::StartCount(five) <= kCycles);
        }
        // Removed with the machine, and installable, startable and stoppable again.
        ServiceMachine again;
        REQUIRE_MESSAGE(again.Service().Start(), again.Service().Problem());
        REQUIRE_MESSAGE(again.Service().WaitForState(SERVICE_RUNNING), again.Service().Problem());
        REQUIRE_MESSAGE(again.Service().Stop(), again.Service().Problem());
        CHECK(again.Service().Status().dwWin32ExitCode == 0);
    }
    SUBCASE("in-process: every handle is back after each stop")
    {
        InProcessMachine machine(false);
        const std::wstring logonIndicator = testfiles::BinPath(kLogonIndicatorProgram);
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            CAPTURE(cycle);
            {
                InProcessService service;
                service.Start();
                REQUIRE(service.WaitUntilStartupComplete());
                CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
                REQUIRE(service.WaitUntilReturned(10000));
                REQUIRE(service.Events() == Events{"RUNNING 0", "STOPPED 0", "FreeLibrary MOLTEX32.DLL"});
            }
            REQUIRE(HeldHandleCount() == machine.handlesBefore);
        }
        REQUIRE(started::WaitUntilAllEnded(15000));
        CHECK(standin::StartCount(logonIndicator) == kCycles);
    }
}
}
