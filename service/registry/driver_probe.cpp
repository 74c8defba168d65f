#include "registry/driver_probe.h"

#include "unique_handle.h"

static_assert(kDriverProbeControlCode == CTL_CODE(FILE_DEVICE_UNKNOWN, 0x972, METHOD_BUFFERED, FILE_ANY_ACCESS));

DWORD ProbeDriver()
{
    UniqueFile device(CreateFileW(kDriverDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) return 0;
    DWORD answer = 0;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device.Get(), kDriverProbeControlCode, nullptr, 0, &answer, sizeof answer,
                                    &returned, nullptr);
    return (ok && returned == sizeof answer) ? 1 : 0;
}
