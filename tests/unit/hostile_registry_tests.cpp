// fnkeyd.exe under wine's service control manager with every value it reads in every hostile
// shape (tests/support/hostile_values.h): missing, of another type, 0 to 8 bytes, without
// terminator, as large as the buffer, 64 KiB. Nothing may crash; each outcome is the one the
// reading rules give; the service keeps answering.
//
// The tables are generated: value x shape. Values read at every press are rewritten between
// presses of one running service; values read at start get a start of their own.
#include <doctest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "fake_device.h"
#include "host/watcher_control.h"
#include "hostile_values.h"
#include "registry/hotkey_sync.h"
#include "registry/registry_paths.h"
#include "registry_fixture.h"
#include "run_program.h"
#include "service_machine.h"
#include "standins.h"
#include "test_files.h"

using hostile::Shape;
using testsvc::HotkeySubkeyPath;
using testsvc::ServiceMachine;

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// A program the service should have started, with its command line.
struct Start {
    std::wstring program;
    std::wstring commandLine;
};

// Checks that `expected` started once with its command line and that no other of `candidates`
// started. Call it once the press is known to be dispatched (a later press's handler started).
void CheckStarted(const std::optional<Start>& expected, const std::vector<std::wstring>& candidates)
{
    if (expected) {
        const auto record = standin::WaitForRecord(expected->program);
        REQUIRE_MESSAGE(!record.empty(), Narrow(expected->program) << " did not start");
        CHECK(Narrow(record.at(L"commandLine")) == Narrow(expected->commandLine));
        CHECK(standin::StartCount(expected->program) == 1);
    }
    for (const std::wstring& program : candidates) {
        if (expected && program == expected->program) continue;
        CHECK_MESSAGE(standin::NeverStarted(program), Narrow(program) << " started");
    }
    for (const std::wstring& program : candidates) standin::DeleteRecord(program);
}

// One press of `hotkeyClass` `number`, then one of the marker event, whose handler `marker` the
// watcher dispatches after it: once the marker has started, the first press has been dispatched.
void PressThenMarker(const TestHotkeySource& source, HotkeyClass hotkeyClass, DWORD number, const std::wstring& marker)
{
    standin::DeleteRecord(marker);
    source.Press(hotkeyClass, number);
    source.Press(HotkeyClass::Class02, 1);
    REQUIRE_MESSAGE(!standin::WaitForRecord(marker).empty(), "the marker event's handler did not start");
}

// The hotkey devices this file creates, removed when done.
struct FakeDevices {
    ~FakeDevices() { RemoveAllFakeDevices(); }
};

}  // namespace

TEST_SUITE("hostile") {
TEST_CASE_FIXTURE(ServiceMachine, "a hotkey's own values in every shape: the handler the reading rules give")
{
    Console(true);
    const std::wstring recorder = testfiles::BinPath(L"recorder.exe");
    const std::wstring handler = folder.File(L"handler.exe");
    REQUIRE(CopyFileW(recorder.c_str(), handler.c_str(), FALSE));
    // A path written out in exactly the 259 units the buffer holds besides its terminator.
    const hostile::PaddedPath padded = hostile::PaddedProgramPath(folder.Path(), MAX_PATH - 1);
    REQUIRE(CopyFileW(recorder.c_str(), padded.file.c_str(), FALSE));
    const std::wstring tooLong = hostile::PaddedProgramPath(folder.Path(), MAX_PATH).text;
    const std::wstring defaultProgram = folder.File(L"ostrel2.exe");
    const std::wstring marker = folder.File(L"brisk_1.exe");
    const std::vector<std::wstring> candidates{handler, padded.file, defaultProgram};
    const Start byDefault{defaultProgram, folder.ShortPath() + L"\\ostrel2.exe"};
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring key = HotkeySubkeyPath(HotkeyClass::Class01, 2);

    // What a press starts for the "File" and "Parameters" the service reads: a registered handler
    // needs both; its command line must fit into 260 units; a path that names no program starts
    // nothing.
    const auto expectedFor = [&](const std::optional<std::wstring>& file,
                                 const std::optional<std::wstring>& parameters) -> std::optional<Start> {
        if (!file || !parameters) return byDefault;
        const std::wstring commandLine = parameters->empty() ? *file : *file + L" " + *parameters;
        if (commandLine.size() >= MAX_PATH) return std::nullopt;
        if (*file == handler) return Start{handler, commandLine};
        if (*file == padded.text) return Start{padded.file, commandLine};
        return std::nullopt;
    };

    SUBCASE("\"File\" (with empty \"Parameters\")")
    {
        for (const Shape shape : hostile::kTextShapes) {
            INFO("shape: " << std::string(hostile::Name(shape)));
            const std::wstring text = shape == Shape::BufferSize               ? padded.text
                                      : shape == Shape::BufferSizeUnterminated ? tooLong
                                                                               : handler;
            testreg::SetString(key.c_str(), L"Parameters", L"");
            hostile::WriteText(key.c_str(), L"File", shape, text);
            PressThenMarker(source, HotkeyClass::Class01, 2, marker);
            CheckStarted(expectedFor(hostile::TextAsRead(shape, text), std::wstring()), candidates);
        }
    }
    SUBCASE("\"Parameters\"")
    {
        for (const Shape shape : hostile::kTextShapes) {
            INFO("shape: " << std::string(hostile::Name(shape)));
            const std::wstring text = shape == Shape::BufferSize               ? std::wstring(MAX_PATH - 1, L'x')
                                      : shape == Shape::BufferSizeUnterminated ? std::wstring(MAX_PATH, L'x')
                                                                               : L"--abc";
            testreg::SetString(key.c_str(), L"File", handler);
            hostile::WriteText(key.c_str(), L"Parameters", shape, text);
            PressThenMarker(source, HotkeyClass::Class01, 2, marker);
            CheckStarted(expectedFor(handler, hostile::TextAsRead(shape, text)), candidates);
        }
    }
    SUBCASE("\"NACondition\" and \"NativePath\": whatever they hold, the registered handler")
    {
        // This machine has no hotkey driver, so no "NACondition" excludes the handler; and it is
        // no WoW64 process, so "NativePath" changes nothing (its effect is tested in the WoW64
        // guest). Every shape must still be read without harm.
        for (const wchar_t* value : {L"NACondition", L"NativePath"}) {
            for (const Shape shape : hostile::kNumberShapes) {
                INFO("value: " << Narrow(value));
                INFO("shape: " << std::string(hostile::Name(shape)));
                testreg::SetString(key.c_str(), L"File", handler);
                testreg::SetString(key.c_str(), L"Parameters", L"--p");
                hostile::WriteNumber(key.c_str(), value, shape, 0xFFFFFFFF);
                PressThenMarker(source, HotkeyClass::Class01, 2, marker);
                CheckStarted(Start{handler, handler + L" --p"}, candidates);
            }
            testreg::DeleteValue(key.c_str(), value);
        }
    }
    CHECK(Service().Status().dwCurrentState == SERVICE_RUNNING);
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE_FIXTURE(ServiceMachine, "\"LockedMode\" in every shape decides the starts on the logon desktop")
{
    Console(false);
    SetLockedMode(HotkeyClass::Class02, 1, 1);  // the marker may run on the logon desktop
    const std::wstring marker = folder.File(L"brisk_1.exe");
    REQUIRE_MESSAGE(StartService(), Service().Problem());

    // The default programs are the publisher's. HotkeyNumber 2 may not run there by default,
    // HotkeyNumber 5 may: a short value replaces only its own bytes of that default.
    struct Hotkey {
        DWORD number;
        DWORD byDefault;
        DWORD payload;
    };
    for (const Hotkey hotkey : {Hotkey{2, 0, 0x1}, Hotkey{5, 1, 0x100}}) {
        const std::wstring key = HotkeySubkeyPath(HotkeyClass::Class01, hotkey.number);
        const std::wstring program = folder.File((L"ostrel" + std::to_wstring(hotkey.number) + L".exe").c_str());
        for (const Shape shape : hostile::kNumberShapes) {
            CAPTURE(hotkey.number);
            INFO("shape: " << std::string(hostile::Name(shape)));
            hostile::WriteNumber(key.c_str(), L"LockedMode", shape, hotkey.payload);
            PressThenMarker(source, HotkeyClass::Class01, hotkey.number, marker);
            const DWORD lockedMode = hostile::NumberAsRead(shape, hotkey.byDefault, hotkey.payload).value_or(hotkey.byDefault);
            std::optional<Start> expected;
            if (lockedMode != 0) expected = Start{program, folder.ShortPath() + program.substr(folder.Path().size())};
            CheckStarted(expected, {program});
        }
    }
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE("the \"8001\" fallback's \"File\" in every shape")
{
    FakeDevices devices;
    std::wstring instance;
    REQUIRE(CreateFakeDevice(L"ACPI\\NRV0068", L"", &instance));  // the hotkey device: the power-management family
    HotkeySourceSeed seed;
    seed.capability = 0x800000;  // HotkeyNumber 24, which has no default program
    seed.type2 = 0x1;
    ServiceMachine machine(seed, KeyFamily::PowerManager);
    machine.Console(true);
    const std::wstring recorder = testfiles::BinPath(L"recorder.exe");
    const std::wstring fallback = machine.folder.File(L"fallback.exe");
    REQUIRE(CopyFileW(recorder.c_str(), fallback.c_str(), FALSE));
    const hostile::PaddedPath padded = hostile::PaddedProgramPath(machine.folder.Path(), MAX_PATH - 1);
    REQUIRE(CopyFileW(recorder.c_str(), padded.file.c_str(), FALSE));
    const std::wstring tooLong = hostile::PaddedProgramPath(machine.folder.Path(), MAX_PATH).text;
    const std::wstring marker = machine.folder.File(L"brisk_1.exe");
    REQUIRE_MESSAGE(machine.StartService(), machine.Service().Problem());

    const wchar_t* const key = L"SOFTWARE\\KVX\\QVHOTKEY\\8001";
    for (const Shape shape : hostile::kTextShapes) {
        INFO("shape: " << std::string(hostile::Name(shape)));
        const std::wstring text = shape == Shape::BufferSize               ? padded.text
                                  : shape == Shape::BufferSizeUnterminated ? tooLong
                                                                           : fallback;
        testreg::CreateKey(key);
        hostile::WriteText(key, L"File", shape, text);
        PressThenMarker(machine.source, HotkeyClass::Class01, 24, marker);
        // The path is used as read, without a test for its existence: one that names no program
        // starts nothing, and so does a value that cannot be read.
        const auto read = hostile::TextAsRead(shape, text);
        std::optional<Start> expected;
        if (read && *read == fallback) expected = Start{fallback, fallback};
        if (read && *read == padded.text) expected = Start{padded.file, padded.text};
        CheckStarted(expected, {fallback, padded.file});
    }
    CHECK(machine.Service().Status().dwCurrentState == SERVICE_RUNNING);
    REQUIRE_MESSAGE(machine.Service().Stop(), machine.Service().Problem());
}

TEST_CASE("values read at start in every shape: the served sets the rules give, or no start")
{
    // The machine: HotkeyNumbers 1, 2, 5, 6 served of 1-6 and 12 offered (3, 4 and 12 are the
    // power-management component's own by default), events 1 and 2, "OverrideSetting" present.
    HotkeySourceSeed seed;
    seed.capability = 0x83F;
    seed.type2 = 0x3;
    seed.overrideSetting = 0;
    ServiceMachine machine(seed);
    machine.Console(true);
    const std::wstring root = ParametersRootPath(KeyFamily::SystemEvent);
    const std::wstring capability = root + L"\\Capability";
    const std::wstring currentSetting = root + L"\\CurrentSetting";
    const std::wstring overrideSetting = root + L"\\OverrideSetting";
    const wchar_t* const class01 = ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class01);
    const wchar_t* const class02 = ClassKeyPath(KeyFamily::SystemEvent, HotkeyClass::Class02);

    // What the start-up reads: the seed, with one value replaced by what its shape reads as. The
    // outcome then follows from the service's own rules for the served sets.
    struct Read {
        Class01Inputs class01;
        Class02Inputs class02;
        std::optional<DWORD> currentSetting = 0;
        std::optional<DWORD> overrideSetting = 0;
    };
    struct Value {
        const char* name;
        std::wstring path;
        const wchar_t* value;
        DWORD initial;  // what the service's buffer holds before the read
        DWORD payload;  // chosen so that each shape reads as something else
        void (*apply)(Read&, std::optional<DWORD>);
    };
    const Value values[] = {
        {"Capability", capability, nullptr, 0, 0x01000033,
         [](Read& r, std::optional<DWORD> v) { r.class01.capabilityRead = v.has_value(); r.class01.offered = v.value_or(0); }},
        {"IsExistPMInternalFunction", capability, L"IsExistPMInternalFunction", kDefaultInternalFunctions, 0x1,
         [](Read& r, std::optional<DWORD> v) { r.class01.internal = v.value_or(kDefaultInternalFunctions); }},
        {"OverrideCapability", capability, L"OverrideCapability", 0, 0x01000100,
         [](Read& r, std::optional<DWORD> v) { r.class01.overrides = v.value_or(0); }},
        {"Type2", capability, L"Type2", 0, 0x01000003, [](Read& r, std::optional<DWORD> v) {
             r.class02.type2Read = v.has_value();
             r.class02.offered = v.value_or(0);
         }},
        {"CurrentSetting", currentSetting, nullptr, 0, 0x40000180,
         [](Read& r, std::optional<DWORD> v) { r.currentSetting = v; }},
        {"OverrideSetting", overrideSetting, nullptr, 0, 0x01000080,
         [](Read& r, std::optional<DWORD> v) { r.overrideSetting = v; }},
        {"Disable", kDisableKeyPath, L"Disable", 0, 0x01000001, [](Read& r, std::optional<DWORD> v) {
             r.class01.disabled = v.value_or(0);
             r.class02.disabled = v.value_or(0);
         }},
    };

    for (const Value& value : values) {
        for (const Shape shape : hostile::kNumberShapes) {
            INFO("value: " << std::string(value.name));
            INFO("shape: " << std::string(hostile::Name(shape)));
            machine.source.Reseed(seed);
            hostile::WriteNumber(value.path.c_str(), value.value, shape, value.payload);

            Read read;
            read.class01.capabilityRead = true;
            read.class01.offered = seed.capability;
            read.class02.type2Read = true;
            read.class02.offered = *seed.type2;
            value.apply(read, hostile::NumberAsRead(shape, value.initial, value.payload));
            const DWORD served = ServedClass01(read.class01);
            const DWORD serviced = read.class02.type2Read ? ServedClass02(read.class02) : 0;
            // No override hotkey registers a handler here, so none is watched.
            const bool synchronized = read.class01.capabilityRead && (served == 0 || read.currentSetting) &&
                                      read.overrideSetting.has_value();
            const bool runs = synchronized && (served != 0 || serviced != 0);

            if (!runs) {
                machine.Service().Start();  // wine may answer 1053 for a service that stops at once
                REQUIRE_MESSAGE(machine.Service().WaitForState(SERVICE_STOPPED), machine.Service().Problem());
                CHECK(machine.Service().Status().dwWin32ExitCode == kNoHotkeysServedError);
                continue;
            }
            REQUIRE_MESSAGE(machine.StartService(), machine.Service().Problem());
            CHECK(testreg::GetDword(class01, L"Capability") == (served | read.class01.overrides));
            if (read.class02.type2Read) {
                CHECK(testreg::GetDword(class02, L"Serviced") == serviced);
            } else {
                CHECK_FALSE(testreg::GetDword(class02, L"Serviced").has_value());
            }
            const DWORD switchedOn = SwitchedOnClass01(served, TRUE);  // wine reports a Windows after 7
            // An empty served set leaves "CurrentSetting" alone.
            CHECK(testreg::GetDword(currentSetting.c_str(), nullptr) ==
                  (served != 0 ? *read.currentSetting | switchedOn : seed.currentSetting));
            CHECK(testreg::GetDword(overrideSetting.c_str(), nullptr) == read.overrideSetting);
            CHECK(machine.Service().Status().dwCurrentState == SERVICE_RUNNING);
            REQUIRE_MESSAGE(machine.Service().Stop(), machine.Service().Problem());
            CHECK(machine.Service().Status().dwWin32ExitCode == 0);
        }
    }
}

TEST_CASE_FIXTURE(ServiceMachine, "\"CurrentSetting\" in every shape, as the client and control 128 read it")
{
    Console(true);
    REQUIRE_MESSAGE(StartService(), Service().Problem());
    const std::wstring currentSetting = std::wstring(ParametersRootPath(KeyFamily::SystemEvent)) + L"\\CurrentSetting";
    constexpr DWORD kFailed = 0xFFFFFFFF;  // the client's -1
    for (const Shape shape : hostile::kNumberShapes) {
        INFO("shape: " << std::string(hostile::Name(shape)));
        // Hotkey 2 switched on, hotkey 1 off, as far as a value of this shape can say so.
        hostile::WriteNumber(currentSetting.c_str(), nullptr, shape, 0x2);
        const auto read = hostile::NumberAsRead(shape, 0, 0x2);
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/query:2") == (read ? (*read >> 1) & 1 : kFailed));
        // "open" sends control 128 for a bit that reads as off; the service flips it in the value
        // as it reads it. A value neither can read is left as it is.
        CHECK(testproc::ExitCodeOf(folder.Service(), L"/open:1") == (read ? 0 : kFailed));
        CHECK(testreg::GetDword(currentSetting.c_str(), nullptr) ==
              (read ? std::optional<DWORD>(*read | 0x1) : std::nullopt));
    }
    CHECK(Service().Status().dwCurrentState == SERVICE_RUNNING);
    REQUIRE_MESSAGE(Service().Stop(), Service().Problem());
    CHECK(Service().Status().dwWin32ExitCode == 0);
}

TEST_CASE("the press signals in every shape: no press is lost to them, none is invented")
{
    HotkeySourceSeed seed = testsvc::DefaultMachineSeed();
    seed.type2 = 0x7;  // events 1, 2 and 3
    ServiceMachine machine(seed);
    machine.Console(true);
    const auto& folder = machine.folder;
    // Event 3 is the marker: every pass dispatches it after the class-01 hotkeys and after events
    // 1 and 2, so once its handler has started, whatever a pass before it had to start has started.
    const std::wstring marker = folder.File(L"marker.exe");
    REQUIRE(CopyFileW(testfiles::BinPath(L"recorder.exe").c_str(), marker.c_str(), FALSE));
    const std::wstring notification = std::wstring(ParametersRootPath(KeyFamily::SystemEvent)) + L"\\Notification";
    const std::wstring ostrel1 = folder.File(L"ostrel1.exe"), ostrel2 = folder.File(L"ostrel2.exe");
    const std::wstring brisk1 = folder.File(L"brisk_1.exe"), brisk2 = folder.File(L"brisk_2.exe");

    // Each signal starts in its shape, holding the bit of hotkey 2 (event 2). The test then flips
    // bit 0 by writing the signal as it was read with that bit inverted: exactly hotkey 1 (event
    // 1) may start. A service that took the bytes of a value it cannot read would see bit 1 flip
    // too.
    struct Signal {
        const char* name;
        const wchar_t* value;
        std::wstring flipped, other;  // the flipped hotkey's handler, and hotkey 2's
    };
    const Signal signals[] = {
        {"the default value", nullptr, ostrel1, ostrel2},
        {"\"Type2\"", L"Type2", brisk1, brisk2},
    };
    for (const Signal& signal : signals) {
        for (const Shape shape : hostile::kNumberShapes) {
            INFO("signal: " << std::string(signal.name));
            INFO("shape: " << std::string(hostile::Name(shape)));
            machine.source.Reseed(seed);
            machine.RegisterHandler(HotkeyClass::Class02, 3, marker, L"");
            hostile::WriteNumber(notification.c_str(), signal.value, shape, 0x2);
            REQUIRE_MESSAGE(machine.StartService(), machine.Service().Problem());

            const auto read = hostile::NumberAsRead(shape, 0, 0x2);
            testreg::SetDword(notification.c_str(), signal.value, read.value_or(0) ^ 0x1);
            // The watcher takes a default value it could not read as "no presses yet" and starts
            // anew from the next value it can read: the flip, which therefore starts nothing. A
            // press of the marker made before the watcher has looked again becomes part of that
            // start as well, so the marker is pressed until it is heard. A "Type2" that cannot be
            // read counts as 0.
            const bool flipHeard = read.has_value() || signal.value != nullptr;
            REQUIRE_MESSAGE(!machine.PressUntilStarted(HotkeyClass::Class02, 3, marker).empty(),
                            "the marker press was never heard");
            if (flipHeard) {
                CHECK_MESSAGE(!standin::WaitForRecord(signal.flipped).empty(), Narrow(signal.flipped) << " did not start");
                CHECK(standin::StartCount(signal.flipped) == 1);
            } else {
                CHECK(standin::NeverStarted(signal.flipped));
            }
            CHECK(standin::NeverStarted(signal.other));
            for (const std::wstring& program : {ostrel1, ostrel2, brisk1, brisk2, marker}) standin::DeleteRecord(program);
            REQUIRE_MESSAGE(machine.Service().Stop(), machine.Service().Problem());
        }
    }
}
}
