// Test stand-in for a winsta.dll that lacks WinStationQueryInformationW (see winsta_standin.cpp).
#include <windows.h>

extern "C" BOOLEAN WINAPI WinStationNameFromLogonIdW(HANDLE, ULONG, PWSTR name)
{
    if (name != nullptr) name[0] = L'\0';
    return FALSE;
}
