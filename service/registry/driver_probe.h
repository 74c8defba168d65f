// Presence test of the power-management driver.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kDriverDevicePath = L"\\\\.\\KVXPMDRV";
inline constexpr DWORD kDriverProbeControlCode = 0x2225C8;  // CTL_CODE(FILE_DEVICE_UNKNOWN, 0x972, METHOD_BUFFERED, FILE_ANY_ACCESS)

// 1 when the driver's device opens for reading and writing and answers the probe control with
// exactly 4 bytes; 0 otherwise. The 4 bytes themselves mean nothing here.
DWORD ProbeDriver();
