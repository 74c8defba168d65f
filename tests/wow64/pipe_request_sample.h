// One session-pipe launch request with every part filled (strings, a Unicode environment, a
// STARTUPINFOW with distinct values in every member), built by the service's own code. The 32-bit
// probe and the 64-bit guest tests build it alike and compare the bytes.
#pragma once

#include <windows.h>

#include <vector>

#include "dispatch/session_pipe_request.h"

// The request's bytes; empty when it could not be built.
inline std::vector<BYTE> BuildSamplePipeRequest()
{
    static wchar_t desktop[] = L"WinSta0\\Winlogon";
    static wchar_t title[] = L"sample title";
    static const wchar_t environment[] = L"A=1\0PATH=C:\\Windows\0\0";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop;
    startup.lpTitle = title;
    startup.dwX = 0x0B0B0B02;
    startup.dwY = 0x0C0C0C03;
    startup.dwXSize = 0x0D0D0D04;
    startup.dwYSize = 0x0E0E0E05;
    startup.dwXCountChars = 0x0F0F0F06;
    startup.dwYCountChars = 0x10101007;
    startup.dwFillAttribute = 0x11111108;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_SHOWNORMAL;
    startup.hStdInput = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1515150C));
    startup.hStdOutput = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1616160D));
    startup.hStdError = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1717170E));

    PipeLaunchRequest request;
    request.processId = 0x11223344;
    request.applicationName = L"C:\\Program Files\\Vendor\\handler.exe";
    request.commandLine = L"\"C:\\Program Files\\Vendor\\handler.exe\" /x 7";
    request.inheritHandles = TRUE;
    request.creationFlags = CREATE_UNICODE_ENVIRONMENT | 0x20;
    request.environment = environment;
    request.startupInfo = &startup;
    PipeRequestBlock block;
    if (!BuildPipeLaunchRequest(request, &block)) return {};
    return std::vector<BYTE>(block.Data(), block.Data() + block.Used());
}
