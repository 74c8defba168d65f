#include "run_program.h"

#include <stdexcept>

#include "unique_handle.h"

namespace testproc {

UniqueKernelHandle StartProgram(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return UniqueKernelHandle();
    }
    CloseHandle(info.hThread);
    return UniqueKernelHandle(info.hProcess);
}

DWORD ExitCodeOf(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs)
{
    const UniqueKernelHandle process = StartProgram(program, arguments);
    if (!process) throw std::runtime_error("the program did not start");
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        throw std::runtime_error("the program did not end");
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

}  // namespace testproc
