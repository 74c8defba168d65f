// demotool: the demo's hands on the test machine, beside the real service.
//
//   demotool trust                 trusts the test PKI's root, as a machine trusts the publisher
//   demotool console <user|logon>  the terminal-services stand-in's console session: active with
//                                  a user logged on, or showing the logon screen (only connected,
//                                  no user: the service starts handlers on the logon desktop)
//   demotool wait <program>        waits for the record the program leaves when it starts and
//                                  prints it (command line, desktop)
//   demotool nothing <program>...  says whether the programs ever started
//   demotool run <program> [arg]   runs a program and prints its exit code in full
#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "standins.h"
#include "unique_handle.h"

namespace {

int Usage()
{
    std::fwprintf(stderr, L"usage: demotool trust | console <user|logon> | wait <program> | nothing <program>... |"
                          L" run <program> [argument]\n");
    return 2;
}

int Wait(const std::wstring& program)
{
    const auto record = standin::WaitForRecord(program);
    if (record.empty()) {
        std::wprintf(L"    %ls: did not start\n", program.c_str());
        return 1;
    }
    std::wprintf(L"    started %ls\n", program.substr(program.find_last_of(L'\\') + 1).c_str());
    for (const wchar_t* key : {L"commandLine", L"desktop"}) {
        std::wprintf(L"      %-12ls %ls\n", key, record.at(key).c_str());
    }
    standin::DeleteRecord(program);
    return 0;
}

int Run(const std::wstring& program, const wchar_t* argument)
{
    std::wstring commandLine = L"\"" + program + L"\"" + (argument != nullptr ? std::wstring(L" ") + argument : L"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        std::wprintf(L"    cannot start %ls\n", program.c_str());
        return 1;
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    WaitForSingleObject(process.Get(), 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    std::wprintf(L"    exit code %ld\n", static_cast<long>(code));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return Usage();
    const std::wstring verb = argv[1];
    if (verb == L"trust" && argc == 2) {
        standin::TrustedTestRoot root;
        root.Keep();
        return 0;
    }
    if (verb == L"console" && argc == 3) {
        const bool user = std::wcscmp(argv[2], L"user") == 0;
        standin::Session console;
        console.connectState = user ? WTSActive : WTSConnected;
        console.userToken = user;
        console.userName = L"demo";
        standin::SetSession(WTSGetActiveConsoleSessionId(), console);
        return 0;
    }
    if (verb == L"wait" && argc == 3) return Wait(argv[2]);
    if (verb == L"nothing" && argc >= 3) {
        for (int i = 2; i < argc; ++i) {
            const std::wstring program = argv[i];
            std::wprintf(L"    %ls: %ls\n", program.substr(program.find_last_of(L'\\') + 1).c_str(),
                         standin::NeverStarted(program) ? L"not started" : L"STARTED");
        }
        return 0;
    }
    if (verb == L"run" && (argc == 3 || argc == 4)) return Run(argv[2], argc == 4 ? argv[3] : nullptr);
    return Usage();
}
