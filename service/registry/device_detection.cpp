#include "registry/device_detection.h"

#include <setupapi.h>

#include <cwchar>

#include "unique_handle.h"

namespace {

struct DeviceInfoListTraits {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDeviceInfoList = UniqueHandle<DeviceInfoListTraits>;

// Reads one multi-string property of a device and matches it against the list. A property that
// cannot be sized, allocated or read is skipped (no match).
bool DevicePropertyListsAnyId(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property, const wchar_t* idList)
{
    DWORD size = 0;
    if (SetupDiGetDeviceRegistryPropertyW(devices, device, property, nullptr, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    // One unit more than reported, so that the walk's guard unit always lies inside the block.
    UniqueLocalMemory buffer(LocalAlloc(LPTR, static_cast<SIZE_T>(size) + sizeof(wchar_t)));
    if (!buffer) return false;
    auto* data = static_cast<BYTE*>(buffer.Get());
    DWORD returned = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, device, property, nullptr, data, size, &returned)) return false;
    const size_t units = (returned < size ? returned : size) / sizeof(wchar_t);
    auto* values = reinterpret_cast<wchar_t*>(data);
    values[units] = L'\0';  // an odd byte count leaves a data byte in this unit
    return PropertyListsAnyId(values, units, idList);
}

}  // namespace

bool PropertyListsAnyId(const wchar_t* values, size_t units, const wchar_t* idList)
{
    size_t pos = 0;
    while (pos < units && values[pos] != L'\0') {
        const wchar_t* value = values + pos;
        for (const wchar_t* id = idList; *id != L'\0'; id += wcslen(id) + 1) {
            if (lstrcmpiW(value, id) == 0) return true;
        }
        pos += wcsnlen(value, units - pos) + 1;
    }
    return false;
}

BOOL FindDeviceByHardwareId(const wchar_t* idList)
{
    UniqueDeviceInfoList devices(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!devices) return FALSE;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(devices.Get(), index, &device)) break;
        if (DevicePropertyListsAnyId(devices.Get(), &device, SPDRP_HARDWAREID, idList) ||
            DevicePropertyListsAnyId(devices.Get(), &device, SPDRP_COMPATIBLEIDS, idList)) {
            return TRUE;
        }
    }
    return FALSE;
}

KeyFamily DetectKeyFamily()
{
    return DecideKeyFamily([](const wchar_t* ids) { return FindDeviceByHardwareId(ids) != FALSE; });
}
