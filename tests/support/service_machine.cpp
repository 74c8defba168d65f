#include "service_machine.h"

#include <wtsapi32.h>

#include <cstdio>

#include "host/service_main.h"
#include "registry/registry_paths.h"
#include "registry_fixture.h"

namespace testsvc {

std::wstring HotkeySubkeyPath(HotkeyClass hotkeyClass, DWORD number, KeyFamily family)
{
    wchar_t name[8];
    FormatHotkeySubkeyName(name, 8, number - 1);
    return std::wstring(ClassKeyPath(family, hotkeyClass)) + L"\\" + name;
}

HotkeySourceSeed DefaultMachineSeed()
{
    HotkeySourceSeed seed;
    seed.capability = 0x33;  // HotkeyNumbers 1, 2, 5, 6
    seed.type2 = 0x3;        // events 1, 2
    return seed;
}

ServiceMachine::ServiceMachine(const HotkeySourceSeed& seed, KeyFamily family) : source(family, seed)
{
    standin::ClearSessions();
    service_ = std::make_unique<ServiceUnderTest>(kServiceName, L"\"" + folder.Service() + L"\"");
}

ServiceMachine::~ServiceMachine()
{
    service_.reset();  // stopped and deleted before its folder and its registry go
    standin::ClearSessions();
}

void ServiceMachine::Console(bool userLoggedOn) const
{
    standin::SetConsoleSession(userLoggedOn);
}

void ServiceMachine::RegisterHandler(HotkeyClass hotkeyClass, DWORD number, const std::wstring& program,
                                     const std::wstring& parameters, std::optional<DWORD> lockedMode) const
{
    const std::wstring key = HotkeySubkeyPath(hotkeyClass, number, source.Family());
    testreg::SetString(key.c_str(), L"File", program);
    testreg::SetString(key.c_str(), L"Parameters", parameters);
    if (lockedMode) SetLockedMode(hotkeyClass, number, *lockedMode);
}

void ServiceMachine::SetLockedMode(HotkeyClass hotkeyClass, DWORD number, DWORD lockedMode) const
{
    testreg::SetDword(HotkeySubkeyPath(hotkeyClass, number, source.Family()).c_str(), L"LockedMode", lockedMode);
}

std::map<std::wstring, std::wstring> ServiceMachine::PressUntilStarted(HotkeyClass hotkeyClass, DWORD number,
                                                                       const std::wstring& program)
{
    std::map<std::wstring, std::wstring> record;
    for (int press = 0; press < 10 && record.empty(); ++press) {
        source.Press(hotkeyClass, number);
        record = standin::WaitForRecord(program, 3000);
    }
    return record;
}

bool ServiceMachine::StartService()
{
    const std::wstring logonIndicator = folder.File(L"kivra.exe");
    standin::DeleteRecord(logonIndicator);
    if (!service_->Start() || !service_->WaitForState(SERVICE_RUNNING)) return false;
    // The service reports running long before its start-up is complete; the logon indicator is
    // the last thing it starts.
    // A deadline for failing only: generous, for slow machines (the emulated WoW64 guest).
    if (!standin::WaitForStartCount(logonIndicator, 1, 60000)) {
        std::fprintf(stderr, "the service runs, but its start-up never reached the logon indicator\n");
        return false;
    }
    return true;
}

std::vector<std::string> LpuLog(const testfiles::ServiceProgramFolder& folder)
{
    std::vector<std::string> lines;
    FILE* in = _wfopen(folder.File(L"MOLTEX32.DLL.log").c_str(), L"r");
    if (in == nullptr) return lines;
    char line[64];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        lines.push_back(text);
    }
    std::fclose(in);
    return lines;
}

}  // namespace testsvc
