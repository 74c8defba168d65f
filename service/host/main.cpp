// fnkeyd's entry routine: without arguments the service (handed to the service dispatcher), with
// one argument the command-line client. A GUI-subsystem program that never creates a window, so
// that neither flashes a console.
#include <windows.h>
#include <shellapi.h>

#include "host/client.h"
#include "host/service_main.h"
#include "unique_handle.h"

namespace {

struct GlobalMemoryTraits {
    using Type = LPWSTR*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { GlobalFree(h); }
};

int RunServiceDispatcher()
{
    const SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherW(table);  // returns once the service has stopped, or at once outside the SCM
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    UniqueHandle<GlobalMemoryTraits> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv || argc > 2) return kClientFailed;
    if (argc < 2) return RunServiceDispatcher();
    ClientRequest request;
    if (!ParseClientArgument(argv.Get()[1], &request)) return kClientFailed;
    return RunClient(request);
}
