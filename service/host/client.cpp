#include "host/client.h"

#include <cwchar>

#include "host/control_handler.h"
#include "host/hotkey_number_section.h"
#include "host/lpu_module.h"
#include "host/service_main.h"
#include "registry/device_detection.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "registry/wow64.h"
#include "win32_owners.h"

namespace {

constexpr DWORD kClientServiceAccess = SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL;
static_assert(kClientServiceAccess == 0x104);

// "CurrentSetting" as this process sees it; false when the root, the key or the value cannot be read.
bool ReadCurrentSetting(DWORD* value)
{
    const BOOL isWow64 = IsWow64();
    const KeyFamily family = DetectKeyFamily();
    if (!ParametersRootExists(isWow64, family)) return false;
    UniqueHkey key;
    if (OpenParametersKey(kCurrentSettingKey, KEY_READ, key.Put(), isWow64, family) != ERROR_SUCCESS) return false;
    return ReadDwordValue(key.Get(), nullptr, value) == ERROR_SUCCESS;
}

// The running service's section, once the service runs and has made it; waits between attempts.
UniqueKernelHandle WaitForRunningService(SC_HANDLE service)
{
    for (int attempt = 0; attempt < kClientAttempts; ++attempt) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING) {
            UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kHotkeyNumberSectionName));
            if (section) return section;
        }
        Sleep(kClientRetryPauseMs);
    }
    return UniqueKernelHandle();
}

bool SendHotkeyControl(DWORD control, DWORD index)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    UniqueServiceHandle service(OpenServiceW(manager.Get(), kServiceName, kClientServiceAccess));
    if (!service) return false;
    {
        UniqueKernelHandle section = WaitForRunningService(service.Get());
        if (!section || !WriteHotkeyIndex(section.Get(), index)) return false;
    }
    SERVICE_STATUS status{};
    return ControlService(service.Get(), control, &status) && status.dwWin32ExitCode == 0;
}

}  // namespace

bool ParseClientArgument(const wchar_t* argument, ClientRequest* request)
{
    if (argument == nullptr || (argument[0] != L'/' && argument[0] != L'-')) return false;
    const wchar_t* text = argument + 1;
    static const struct {
        const wchar_t* keyword;
        ClientCommand command;
    } keywords[] = {
        {L"open:", ClientCommand::Open},
        {L"close:", ClientCommand::Close},
        {L"query:", ClientCommand::Query},
        {L"notify:", ClientCommand::Notify},
    };
    for (const auto& entry : keywords) {
        const size_t length = std::wcslen(entry.keyword);
        if (std::wcsncmp(text, entry.keyword, length) != 0) continue;
        const long number = std::wcstol(text + length, nullptr, 10);
        // Compared unsigned: negative numbers wrap far above 32.
        if (static_cast<unsigned long>(number) - 1 >= 32) return false;
        request->command = entry.command;
        request->index = static_cast<DWORD>(number - 1);
        return true;
    }
    return false;
}

ClientStep DecideClientStep(const ClientRequest& request, DWORD currentSetting)
{
    const bool on = (currentSetting >> request.index) & 1;
    ClientStep step;
    switch (request.command) {
    case ClientCommand::Query:
        step.exitCode = on ? 1 : 0;
        break;
    case ClientCommand::Open:
    case ClientCommand::Close:
        step.contactService = (request.command == ClientCommand::Open) != on;
        step.control = kHotkeyControlToggleSetting;
        break;
    case ClientCommand::Notify:
        step.contactService = true;
        step.control = kHotkeyControlToggleNotification;
        break;
    }
    return step;
}

int RunClient(const ClientRequest& request)
{
    UniqueModule lpu(LoadLpuModule(kLpuModuleName));
    DWORD currentSetting = 0;
    if (!ReadCurrentSetting(&currentSetting)) return kClientFailed;
    const ClientStep step = DecideClientStep(request, currentSetting);
    if (!step.contactService) return step.exitCode;
    return SendHotkeyControl(step.control, request.index) ? 0 : kClientFailed;
}
