#include "fake_device.h"

#include <setupapi.h>

#include <cwchar>
#include <vector>

namespace {

// All fake devices are created as ROOT\FNKEYFAKE\nnnn so that they can be found and removed.
constexpr const wchar_t* kDeviceName = L"FNKEYFAKE";
constexpr size_t kInstanceIdUnits = 200;  // MAX_DEVICE_ID_LEN
// The "System devices" setup class.
constexpr GUID kSystemDeviceClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

size_t MultiStringBytes(const wchar_t* list)
{
    const wchar_t* p = list;
    while (*p != L'\0') p += wcslen(p) + 1;
    return static_cast<size_t>(p - list + 1) * sizeof(wchar_t);
}

class DeviceList {
public:
    explicit DeviceList(HDEVINFO set) : set_(set) {}
    ~DeviceList()
    {
        if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    HDEVINFO Get() const { return set_; }
    bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

bool CreateWithProperties(const BYTE* hardwareIds, DWORD hardwareIdSize, const BYTE* compatibleIds,
                          DWORD compatibleIdSize, std::wstring* instanceId)
{
    GUID classGuid = kSystemDeviceClass;
    DeviceList list(SetupDiCreateDeviceInfoList(&classGuid, nullptr));
    if (!list.Valid()) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoW(list.Get(), kDeviceName, &classGuid, nullptr, nullptr, DICD_GENERATE_ID, &device)) {
        return false;
    }
    bool ok = SetupDiSetDeviceRegistryPropertyW(list.Get(), &device, SPDRP_HARDWAREID, hardwareIds, hardwareIdSize);
    if (ok && compatibleIds != nullptr) {
        ok = SetupDiSetDeviceRegistryPropertyW(list.Get(), &device, SPDRP_COMPATIBLEIDS, compatibleIds, compatibleIdSize);
    }
    if (ok) ok = SetupDiRegisterDeviceInfo(list.Get(), &device, 0, nullptr, nullptr, nullptr);
    wchar_t id[kInstanceIdUnits] = {};
    if (ok) ok = SetupDiGetDeviceInstanceIdW(list.Get(), &device, id, ARRAYSIZE(id), nullptr);
    if (!ok) {
        SetupDiRemoveDevice(list.Get(), &device);
        return false;
    }
    if (instanceId != nullptr) *instanceId = id;
    return true;
}

}  // namespace

bool CreateFakeDevice(const wchar_t* hardwareIds, const wchar_t* compatibleIds, std::wstring* instanceId)
{
    return CreateWithProperties(reinterpret_cast<const BYTE*>(hardwareIds), static_cast<DWORD>(MultiStringBytes(hardwareIds)),
                                reinterpret_cast<const BYTE*>(compatibleIds),
                                compatibleIds ? static_cast<DWORD>(MultiStringBytes(compatibleIds)) : 0, instanceId);
}

bool CreateFakeDeviceRaw(const BYTE* hardwareIdBytes, DWORD hardwareIdSize, std::wstring* instanceId)
{
    return CreateWithProperties(hardwareIdBytes, hardwareIdSize, nullptr, 0, instanceId);
}

bool RemoveFakeDevice(const std::wstring& instanceId)
{
    DeviceList list(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!list.Valid()) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiOpenDeviceInfoW(list.Get(), instanceId.c_str(), nullptr, 0, &device)) return false;
    return SetupDiRemoveDevice(list.Get(), &device) != FALSE;
}

void RemoveAllFakeDevices()
{
    DeviceList list(SetupDiGetClassDevsW(nullptr, L"ROOT", nullptr, DIGCF_ALLCLASSES));
    if (!list.Valid()) return;
    std::vector<std::wstring> doomed;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.Get(), index, &device); ++index) {
        wchar_t id[kInstanceIdUnits] = {};
        if (!SetupDiGetDeviceInstanceIdW(list.Get(), &device, id, ARRAYSIZE(id), nullptr)) continue;
        if (_wcsnicmp(id, L"ROOT\\FNKEYFAKE\\", 15) == 0) doomed.push_back(id);
    }
    for (const auto& id : doomed) RemoveFakeDevice(id);
}
