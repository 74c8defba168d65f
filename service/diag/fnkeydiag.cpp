// fnkeydiag: answers "why does my key do nothing?" without a debugger. For each hotkey of both
// classes it shows what the service would decide at start (offered, disabled, internal,
// overridden, served, switched on) and which handler a press would start (registered, default or
// fallback program, its command line, "LockedMode", "NativePath"), whether that program exists
// and passes the publisher check, and whether the service is installed and running. It reads
// with the service's own registry and resolution code and writes nothing.
//
//   fnkeydiag              all hotkeys, one line each
//   fnkeydiag /hotkey:N    class-01 HotkeyNumber N, in sentences
//   fnkeydiag /event:N     class-02 event N, in sentences
//   fnkeydiag /json        everything, as JSON
// Exit code 0, or 2 for an argument it does not know.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "dispatch/handler_resolution.h"
#include "dispatch/launch_plan.h"
#include "dispatch/program_file_lock.h"
#include "dispatch/signature_check.h"
#include "host/service_state.h"
#include "host/startup_state.h"
#include "registry/driver_probe.h"
#include "registry/hotkey_sync.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "registry/wow64.h"
#include "unique_handle.h"

namespace {

constexpr const wchar_t* kServiceName = L"fnkeyd";

struct HotkeyFacts {
    HotkeyClass hotkeyClass = HotkeyClass::Class01;
    DWORD number = 0;  // 1..32
    bool offered = false, disabled = false, internal = false, overridden = false;
    bool served = false, switchedOn = false, watched = false;
    bool resolved = false;
    HandlerSource source = HandlerSource::Registered;
    HandlerSpec handler;
    bool exists = false;
    bool publisherSigned = false;
};

struct ServiceFacts {
    bool installed = false;
    DWORD state = 0;  // SERVICE_RUNNING etc.; 0 when unknown
};

struct Machine {
    bool parametersRoot = false;
    bool class01Read = false, class02Read = false;
    DWORD currentSetting = 0;
    bool currentSettingRead = false;
    std::vector<HotkeyFacts> hotkeys;
    ServiceFacts service;
};

DWORD Bit(DWORD number)
{
    return 1u << (number - 1);
}

// Opens the program file the way the service does before a check (with redirection off where
// the handler asks for it) and checks the publisher's signature through that handle.
void CheckProgram(HotkeyFacts* facts)
{
    const bool redirect = RedirectionOffForLaunch(g_serviceState.isWow64, facts->handler.nativePath);
    PVOID previous = nullptr;
    const bool off = redirect && DisableFsRedirection(&previous);
    facts->exists = GetFileAttributesW(facts->handler.applicationPath) != INVALID_FILE_ATTRIBUTES;
    UniqueFile held = facts->exists ? LockProgramFile(facts->handler.applicationPath) : UniqueFile();
    if (off) RevertFsRedirection(previous);
    facts->publisherSigned = held && VerifyPublisherSignature(facts->handler.applicationPath, held.Get(), kPublisherName);
}

ServiceFacts QueryService()
{
    ServiceFacts facts;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return facts;
    const SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        facts.installed = true;
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status)) facts.state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return facts;
}

Machine Examine()
{
    ServiceState& state = g_serviceState;
    DetectPlatform(&state);
    FindProgramDirectory(state.programDir);
    state.driverPresent = ProbeDriver();

    Machine machine;
    machine.parametersRoot = ParametersRootExists(state.isWow64, state.keyFamily) != FALSE;
    {
        UniqueHkey current;
        if (OpenParametersKey(kCurrentSettingKey, KEY_READ, current.Put(), state.isWow64, state.keyFamily) ==
            ERROR_SUCCESS) {
            machine.currentSettingRead = ReadDwordValue(current.Get(), nullptr, &machine.currentSetting) == ERROR_SUCCESS;
        }
    }
    const Class01Inputs in01 = ReadClass01Inputs();
    const Class02Inputs in02 = ReadClass02Inputs();
    machine.class01Read = in01.capabilityRead;
    machine.class02Read = in02.type2Read;
    const DWORD served01 = PublishedClass01(in01);
    const DWORD served02 = ServedClass02(in02);

    for (const HotkeyClass hotkeyClass : {HotkeyClass::Class01, HotkeyClass::Class02}) {
        for (DWORD number = 1; number <= kHotkeysPerClass; ++number) {
            HotkeyFacts facts;
            facts.hotkeyClass = hotkeyClass;
            facts.number = number;
            if (hotkeyClass == HotkeyClass::Class01) {
                facts.offered = (in01.offered & Bit(number)) != 0;
                facts.disabled = (in01.disabled & Bit(number)) != 0;
                facts.internal = (in01.internal & Bit(number)) != 0;
                facts.overridden = (in01.overrides & Bit(number)) != 0;
                facts.served = (served01 & Bit(number)) != 0;
                facts.switchedOn = machine.currentSettingRead && (machine.currentSetting & Bit(number)) != 0;
                facts.watched = facts.served;
                if (facts.overridden) facts.watched = OverrideHotkeyRegistersHandler(number - 1);
            } else {
                facts.offered = (in02.offered & Bit(number)) != 0;
                facts.disabled = (in02.disabled & Bit(number)) != 0;
                facts.served = (served02 & Bit(number)) != 0;
                facts.watched = facts.served;
            }
            facts.resolved = ResolveHandler(hotkeyClass, number - 1, &facts.handler, &facts.source);
            if (facts.resolved) CheckProgram(&facts);
            machine.hotkeys.push_back(facts);
        }
    }
    machine.service = QueryService();
    return machine;
}

// Output in UTF-8, whatever the console's code page.
void Print(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// Formats into a string of whatever length the text needs (a handler's command line, escaped for
// JSON, can be several times the length of a path): the buffer grows until the text fits.
std::wstring Format(const wchar_t* format, ...)
{
    std::wstring text(1024, L'\0');
    for (;;) {
        va_list arguments;
        va_start(arguments, format);
        const int written = std::vswprintf(text.data(), text.size(), format, arguments);
        va_end(arguments);
        if (written >= 0 && static_cast<size_t>(written) < text.size()) {
            text.resize(static_cast<size_t>(written));
            return text;
        }
        if (text.size() >= (1u << 20)) return std::wstring();  // no line of this tool comes near
        text.resize(text.size() * 2);
    }
}

const wchar_t* SourceName(HandlerSource source)
{
    switch (source) {
    case HandlerSource::Registered: return L"registered";
    case HandlerSource::Default: return L"default";
    case HandlerSource::Fallback: return L"fallback";
    }
    return L"?";
}

const wchar_t* StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return L"stopped";
    case SERVICE_START_PENDING: return L"starting";
    case SERVICE_STOP_PENDING: return L"stopping";
    case SERVICE_RUNNING: return L"running";
    case SERVICE_PAUSED: return L"paused";
    default: return L"unknown";
    }
}

const wchar_t* ClassName(HotkeyClass hotkeyClass)
{
    return hotkeyClass == HotkeyClass::Class01 ? L"01" : L"02";
}

std::wstring ServiceLine(const Machine& machine)
{
    if (!machine.service.installed) return L"the service \"fnkeyd\" is not installed";
    return Format(L"the service \"fnkeyd\" is installed and %ls", StateName(machine.service.state));
}

void PrintTable(const Machine& machine)
{
    const ServiceState& state = g_serviceState;
    Print(Format(L"family %ls, Parameters root %ls%ls; %ls\n",
                 state.keyFamily == KeyFamily::SystemEvent ? L"SystemEvent" : L"PowerManager",
                 ParametersRootPath(state.keyFamily), machine.parametersRoot ? L"" : L" (missing)",
                 ServiceLine(machine).c_str()));
    Print(L"class number offered disabled internal override served on  handler\n");
    for (const HotkeyFacts& h : machine.hotkeys) {
        if (!h.offered && !h.served && !(h.resolved && h.source == HandlerSource::Registered)) continue;
        std::wstring handler = L"(none)";
        if (h.resolved) {
            handler = Format(L"%ls: %ls%ls%ls", SourceName(h.source), h.handler.commandLine,
                             h.exists ? L"" : L" (missing)", h.exists && h.publisherSigned ? L" (publisher-signed)" : L"");
        }
        const bool class01 = h.hotkeyClass == HotkeyClass::Class01;
        Print(Format(L"%-6ls %5lu  %-7ls %-8ls %-8ls %-8ls %-6ls %-3ls %ls\n", ClassName(h.hotkeyClass),
                     static_cast<unsigned long>(h.number), h.offered ? L"yes" : L"no", h.disabled ? L"yes" : L"no",
                     class01 ? (h.internal ? L"yes" : L"no") : L"-", class01 ? (h.overridden ? L"yes" : L"no") : L"-",
                     h.served ? L"yes" : L"no", class01 ? (h.switchedOn ? L"yes" : L"no") : L"-", handler.c_str()));
    }
}

void Explain(const Machine& machine, HotkeyClass hotkeyClass, DWORD number)
{
    const HotkeyFacts& h = machine.hotkeys[(hotkeyClass == HotkeyClass::Class01 ? 0 : kHotkeysPerClass) + number - 1];
    const bool class01 = hotkeyClass == HotkeyClass::Class01;
    const std::wstring what = class01 ? Format(L"HotkeyNumber %lu", static_cast<unsigned long>(number))
                                      : Format(L"Event %lu", static_cast<unsigned long>(number));
    if (!machine.parametersRoot) {
        Print(Format(L"The Parameters root %ls does not exist: the service cannot start on this machine.\n",
                     ParametersRootPath(g_serviceState.keyFamily)));
    }
    Print(Format(L"%ls is %lsoffered by the hotkey source.\n", what.c_str(), h.offered ? L"" : L"not "));
    if (h.disabled) Print(L"It is disabled (\"Disable\" of the class-01 key), so the service does not serve it.\n");
    if (class01 && h.internal) Print(L"The power-management component handles it itself, so the service does not serve it.\n");
    if (class01 && h.overridden) Print(L"It is an override hotkey (\"OverrideCapability\"), which the service serves.\n");
    if (h.served && h.watched) Print(L"The service serves it: a press starts its handler.\n");
    else if (h.served) Print(L"The service serves it but does not watch it: an override hotkey needs \"File\" and \"Parameters\" in its subkey.\n");
    else Print(L"The service does not serve it: a press starts nothing.\n");
    if (class01) {
        Print(Format(L"Its bit in \"CurrentSetting\" is %ls%ls.\n", h.switchedOn ? L"on" : L"off",
                     h.served && !h.switchedOn ? L" (the service switches it on when it starts)" : L""));
    }
    if (!h.resolved) {
        Print(L"No handler resolves: nothing registered, no default program beside the service, no fallback.\n");
    } else {
        Print(Format(L"A press would start the %ls handler: %ls\n", SourceName(h.source), h.handler.commandLine));
        Print(Format(L"\"LockedMode\" is %lu: it %ls start while no user is at the console (on the logon desktop, if publisher-signed).\n",
                     static_cast<unsigned long>(h.handler.lockedMode), h.handler.lockedMode != 0 ? L"may" : L"may not"));
        Print(Format(L"\"NativePath\" is %lu.\n", static_cast<unsigned long>(h.handler.nativePath)));
        if (!h.exists) Print(L"The program does not exist, so the start would fail.\n");
        else Print(Format(L"The program exists and %ls the publisher's signature.\n", h.publisherSigned ? L"carries" : L"does not carry"));
    }
    Print(Format(L"Now %ls.\n", ServiceLine(machine).c_str()));
}

std::wstring JsonString(const wchar_t* text)
{
    std::wstring out = L"\"";
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p == L'"' || *p == L'\\') out += L'\\';
        if (*p < 0x20) out += Format(L"\\u%04x", static_cast<unsigned>(*p));
        else out += *p;
    }
    return out + L"\"";
}

void PrintJson(const Machine& machine)
{
    const ServiceState& state = g_serviceState;
    const wchar_t* yes = L"true";
    const wchar_t* no = L"false";
    Print(Format(L"{\"family\": \"%ls\", \"parametersRoot\": %ls, \"isWow64\": %ls,\n",
                 state.keyFamily == KeyFamily::SystemEvent ? L"SystemEvent" : L"PowerManager",
                 JsonString(ParametersRootPath(state.keyFamily)).c_str(), state.isWow64 ? yes : no));
    Print(Format(L" \"parametersRootExists\": %ls, \"service\": {\"installed\": %ls, \"state\": \"%ls\"},\n \"hotkeys\": [\n",
                 machine.parametersRoot ? yes : no, machine.service.installed ? yes : no,
                 machine.service.installed ? StateName(machine.service.state) : L"absent"));
    for (size_t i = 0; i < machine.hotkeys.size(); ++i) {
        const HotkeyFacts& h = machine.hotkeys[i];
        std::wstring handler = L"null";
        if (h.resolved) {
            handler = Format(L"{\"source\": \"%ls\", \"application\": %ls, \"commandLine\": %ls, \"lockedMode\": %lu, "
                             L"\"nativePath\": %lu, \"exists\": %ls, \"publisherSigned\": %ls}",
                             SourceName(h.source), JsonString(h.handler.applicationPath).c_str(),
                             JsonString(h.handler.commandLine).c_str(), static_cast<unsigned long>(h.handler.lockedMode),
                             static_cast<unsigned long>(h.handler.nativePath), h.exists ? yes : no,
                             h.publisherSigned ? yes : no);
        }
        Print(Format(L"  {\"class\": \"%ls\", \"number\": %lu, \"offered\": %ls, \"disabled\": %ls, \"internal\": %ls, "
                     L"\"override\": %ls, \"served\": %ls, \"watched\": %ls, \"switchedOn\": %ls, \"handler\": %ls}%ls\n",
                     ClassName(h.hotkeyClass), static_cast<unsigned long>(h.number), h.offered ? yes : no,
                     h.disabled ? yes : no, h.internal ? yes : no, h.overridden ? yes : no, h.served ? yes : no,
                     h.watched ? yes : no, h.switchedOn ? yes : no, handler.c_str(),
                     i + 1 < machine.hotkeys.size() ? L"," : L""));
    }
    Print(L" ]}\n");
}

// "/hotkey:N" or "/event:N" with N in 1..32; 0 otherwise.
DWORD NumberAfter(const wchar_t* argument, const wchar_t* prefix)
{
    const size_t length = std::wcslen(prefix);
    if (_wcsnicmp(argument, prefix, length) != 0) return 0;
    wchar_t* end = nullptr;
    const unsigned long number = std::wcstoul(argument + length, &end, 10);
    return (end != argument + length && *end == L'\0' && number >= 1 && number <= kHotkeysPerClass) ? number : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 2) {
        std::fputs("usage: fnkeydiag [/hotkey:N | /event:N | /json]\n", stderr);
        return 2;
    }
    const wchar_t* argument = argc == 2 ? argv[1] : L"";
    const DWORD hotkey = NumberAfter(argument, L"/hotkey:");
    const DWORD event = NumberAfter(argument, L"/event:");
    const bool json = _wcsicmp(argument, L"/json") == 0;
    if (argc == 2 && hotkey == 0 && event == 0 && !json) {
        std::fputs("usage: fnkeydiag [/hotkey:N | /event:N | /json]   (N: 1 to 32)\n", stderr);
        return 2;
    }
    const Machine machine = Examine();
    if (json) PrintJson(machine);
    else if (hotkey != 0) Explain(machine, HotkeyClass::Class01, hotkey);
    else if (event != 0) Explain(machine, HotkeyClass::Class02, event);
    else PrintTable(machine);
    return 0;
}
