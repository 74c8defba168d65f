// fnkeydiag.exe on seeded machines of both families: what it says about each hotkey, and that it
// writes nothing to the registry.
#include <doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "fake_device.h"
#include "hotkey_source_fixture.h"
#include "registry/registry_paths.h"
#include "registry_fixture.h"
#include "service_machine.h"
#include "standins.h"
#include "test_files.h"
#include "unique_handle.h"

namespace {

// Runs fnkeydiag.exe from the bin folder (beside the default programs) with `argument`; its
// standard output, and its exit code in *exitCode.
std::string Diag(const std::wstring& argument, DWORD* exitCode = nullptr)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    REQUIRE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const std::wstring program = testfiles::BinPath(L"fnkeydiag.exe");
    std::wstring commandLine = L"\"" + program + L"\"" + (argument.empty() ? L"" : L" " + argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &info);
    CloseHandle(writeEnd);
    REQUIRE(started);
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    std::string output;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
    CloseHandle(readEnd);
    REQUIRE(WaitForSingleObject(process.Get(), 30000) == WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    if (exitCode != nullptr) *exitCode = code;
    return output;
}

// A text export of the keys the service and the tool read (reg.exe export, as an administrator
// would make one).
std::string Export(const wchar_t* key)
{
    testfiles::ScratchDir scratch;
    const std::wstring file = scratch.File(L"export.reg");
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring reg = std::wstring(system) + L"\\reg.exe";
    std::wstring commandLine = L"\"" + reg + L"\" export \"" + key + L"\" \"" + file + L"\" /y";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    REQUIRE(CreateProcessW(reg.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 30000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::string text;
    if (FILE* in = _wfopen(file.c_str(), L"rb")) {
        char chunk[4096];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, got);
        std::fclose(in);
    }
    return text;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct Devices {
    ~Devices() { RemoveAllFakeDevices(); }
};

}  // namespace

TEST_SUITE("diag") {
TEST_CASE("fnkeydiag on a system-event machine: what each hotkey does, and it writes nothing")
{
    standin::TrustedTestRoot trusted;
    HotkeySourceSeed seed;
    seed.capability = 0x33 | 0x100;  // HotkeyNumbers 1, 2, 5, 6 and 9, which "Disable" turns off
    seed.type2 = 0x3;
    seed.disable = 0x100;
    TestHotkeySource source(KeyFamily::SystemEvent, seed);
    const std::wstring unsignedHandler = testfiles::BinPath(L"recorder.exe");
    testreg::SetString(testsvc::HotkeySubkeyPath(HotkeyClass::Class01, 2).c_str(), L"File", unsignedHandler);
    testreg::SetString(testsvc::HotkeySubkeyPath(HotkeyClass::Class01, 2).c_str(), L"Parameters", L"--two");
    testreg::SetDword(testsvc::HotkeySubkeyPath(HotkeyClass::Class01, 2).c_str(), L"LockedMode", 1);
    const std::string before = Export(L"HKLM\\Software");
    REQUIRE(before.size() > 1000);  // UTF-16 text: the export worked

    SUBCASE("one line a hotkey that is offered, served or registered")
    {
        const std::string table = Diag(L"");
        CHECK(Has(table, "family SystemEvent"));
        CHECK(Has(table, "\"fnkeyd\" is not installed"));
        CHECK(Has(table, "ostrel1.exe (publisher-signed)"));
        CHECK(Has(table, "registered: " + std::string(unsignedHandler.begin(), unsignedHandler.end()) + " --two"));
    }
    SUBCASE("a registered, unsigned handler in sentences")
    {
        const std::string two = Diag(L"/hotkey:2");
        CHECK(Has(two, "HotkeyNumber 2 is offered by the hotkey source."));
        CHECK(Has(two, "The service serves it: a press starts its handler."));
        CHECK(Has(two, "A press would start the registered handler: "));
        CHECK(Has(two, "\"LockedMode\" is 1"));
        CHECK(Has(two, "does not carry the publisher's signature"));
    }
    SUBCASE("a disabled hotkey, a hotkey nobody offers, an event")
    {
        CHECK(Has(Diag(L"/hotkey:9"), "It is disabled"));
        CHECK(Has(Diag(L"/hotkey:9"), "The service does not serve it"));
        CHECK(Has(Diag(L"/hotkey:3"), "HotkeyNumber 3 is not offered"));
        const std::string event = Diag(L"/event:1");
        CHECK(Has(event, "Event 1 is offered"));
        CHECK(Has(event, "brisk_1.exe"));
        CHECK(Has(event, "carries the publisher's signature"));
    }
    SUBCASE("the same as JSON")
    {
        const std::string json = Diag(L"/json");
        CHECK(Has(json, "\"family\": \"SystemEvent\""));
        CHECK(Has(json, "{\"class\": \"01\", \"number\": 9, \"offered\": true, \"disabled\": true"));
        CHECK(Has(json, "\"source\": \"registered\""));
        CHECK(Has(json, "\"publisherSigned\": true"));
    }
    SUBCASE("an argument it does not know")
    {
        DWORD code = 0;
        Diag(L"/hotkey:33", &code);
        CHECK(code == 2);
        Diag(L"/open:2", &code);
        CHECK(code == 2);
    }
    CHECK(Export(L"HKLM\\Software") == before);
}

TEST_CASE("fnkeydiag beside the running service: override hotkeys, switched-on bits, a command line of any length")
{
    HotkeySourceSeed seed = testsvc::DefaultMachineSeed();
    seed.override = (1u << 6) | (1u << 7);  // HotkeyNumbers 7 and 8
    testsvc::ServiceMachine machine(seed);
    // HotkeyNumber 7 registers a handler, 8 does not: only 7 is watched.
    machine.RegisterHandler(HotkeyClass::Class01, 7, L"C:\\override\\seven.exe", L"--seven");
    // Parameters an administrator could write: control characters and quotes, each several units
    // once escaped for JSON, in the parameters and again in the command line.
    const std::wstring parameters = std::wstring(200, L'\x01') + std::wstring(40, L'"');
    machine.RegisterHandler(HotkeyClass::Class01, 1, L"C:\\odd\\one.exe", parameters);
    testreg::SetDword(testsvc::HotkeySubkeyPath(HotkeyClass::Class01, 2).c_str(), L"NativePath", 1);
    REQUIRE(machine.StartService());

    CHECK(Has(Diag(L""), "\"fnkeyd\" is installed and running"));
    const std::string seven = Diag(L"/hotkey:7");
    CHECK(Has(seven, "It is an override hotkey"));
    CHECK(Has(seven, "The service serves it: a press starts its handler."));
    CHECK(Has(seven, "the registered handler: C:\\override\\seven.exe --seven"));
    const std::string eight = Diag(L"/hotkey:8");
    CHECK(Has(eight, "It is an override hotkey"));
    CHECK(Has(eight, "serves it but does not watch it"));
    CHECK(Has(Diag(L"/hotkey:1"), "Its bit in \"CurrentSetting\" is on."));
    CHECK(Has(Diag(L"/hotkey:3"), "Its bit in \"CurrentSetting\" is off."));
    CHECK(Has(Diag(L"/hotkey:2"), "\"NativePath\" is 1."));

    const std::string json = Diag(L"/json");
    std::string escaped;
    for (int i = 0; i < 200; ++i) escaped += "\\u0001";
    for (int i = 0; i < 40; ++i) escaped += "\\\"";
    const size_t one = json.find("  {\"class\": \"01\", \"number\": 1,");
    REQUIRE(one != std::string::npos);
    std::string line = json.substr(one, json.find('\n', one) - one);
    if (!line.empty() && line.back() == '\r') line.pop_back();  // standard output in text mode
    INFO("the JSON line of HotkeyNumber 1: " << line);
    CHECK(line.size() > 1024);
    CHECK(Has(line, "\"commandLine\": \"C:\\\\odd\\\\one.exe " + escaped + "\", \"lockedMode\""));
    CHECK(line.substr(line.size() - 3) == "}},");
    CHECK(Has(json, "{\"class\": \"01\", \"number\": 2, \"offered\": true"));
    CHECK(Has(json, "\"nativePath\": 1"));
    CHECK(Has(json, "{\"class\": \"01\", \"number\": 8, \"offered\": false, \"disabled\": false, \"internal\": false, "
                    "\"override\": true, \"served\": true, \"watched\": false"));
    CHECK(json.size() >= 5);
    CHECK(json.substr(json.size() - 5) == " ]}\r\n");
}

TEST_CASE("fnkeydiag on a power-management machine: internal hotkeys and the \"8001\" fallback")
{
    Devices devices;
    std::wstring instance;
    REQUIRE(CreateFakeDevice(L"ACPI\\NRV0068", L"", &instance));
    HotkeySourceSeed seed;
    seed.capability = 0x80080C;  // HotkeyNumbers 3, 4, 12 and 24
    seed.type2 = 0x1;
    TestHotkeySource source(KeyFamily::PowerManager, seed);
    testreg::SetString(L"SOFTWARE\\KVX\\QVHOTKEY\\8001", L"File", L"C:\\fallback\\eight.exe");
    const std::string before = Export(L"HKLM\\System\\CurrentControlSet\\Services\\KVXPMSVC");
    REQUIRE(before.size() > 200);

    const std::string json = Diag(L"/json");
    CHECK(Has(json, "\"family\": \"PowerManager\""));
    CHECK(Has(json, "{\"class\": \"01\", \"number\": 3, \"offered\": true, \"disabled\": false, \"internal\": true, "
                    "\"override\": false, \"served\": false"));
    CHECK(Has(json, "\"source\": \"fallback\", \"application\": \"C:\\\\fallback\\\\eight.exe\""));
    const std::string twentyFour = Diag(L"/hotkey:24");
    CHECK(Has(twentyFour, "The service serves it"));
    CHECK(Has(twentyFour, "the fallback handler: C:\\fallback\\eight.exe"));
    CHECK(Has(twentyFour, "The program does not exist"));
    CHECK(Has(Diag(L"/hotkey:12"), "The power-management component handles it itself"));
    CHECK(Export(L"HKLM\\System\\CurrentControlSet\\Services\\KVXPMSVC") == before);
    testreg::DeleteTree(L"SOFTWARE\\KVX\\QVHOTKEY\\8001");
}
}
