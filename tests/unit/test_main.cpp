// doctest main for the test programs.
//
// A run whose filters select no test case fails, so that a mistyped suite name in the CTest
// registration cannot pass silently.
//
// A crash ends the run at once with the test case, the exception code and where it happened: doctest's
// Windows exception handling reports the crashed case and exits, and a first-chance exception
// handler remembers the last exception of each thread so that the report can name its code and
// address (doctest itself names only a few codes, by signal name).
#include <windows.h>
#include <crtdbg.h>  // doctest's Windows exception handling uses the CRT report hooks declared here
#include <shellapi.h>

#define DOCTEST_CONFIG_IMPLEMENT
#define DOCTEST_CONFIG_WINDOWS_SEH
#include <doctest.h>

#include <cstdio>
#include <string>
#include <vector>

// doctest's crash handling calls _set_abort_behavior, which msvcrt.dll (the C runtime mingw-w64
// links against) does not have; nothing here needs what it changes, so the import is satisfied
// with a function that does nothing.
extern "C" {
static unsigned int __cdecl KeepAbortBehavior(unsigned int, unsigned int)
{
    return 0;
}
unsigned int(__cdecl* __imp__set_abort_behavior)(unsigned int, unsigned int) = KeepAbortBehavior;
}

namespace {
int g_testCasesStarted = 0;

struct LastException {
    DWORD code = 0;
    void* address = nullptr;
};
thread_local LastException t_lastException;

LONG CALLBACK RememberException(EXCEPTION_POINTERS* pointers)
{
    t_lastException.code = pointers->ExceptionRecord->ExceptionCode;
    t_lastException.address = pointers->ExceptionRecord->ExceptionAddress;
    return EXCEPTION_CONTINUE_SEARCH;
}

// "module+0xoffset" of a code address, for the crash report.
std::string Where(void* address)
{
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<const char*>(address), &module)) {
        const DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
        const char* base = name;
        for (DWORD i = 0; i < length; ++i) {
            if (name[i] == '\\') base = name + i + 1;
        }
        char text[MAX_PATH + 32];
        std::snprintf(text, sizeof text, "%s+0x%llx", base,
                      static_cast<unsigned long long>(static_cast<const char*>(address) -
                                                      reinterpret_cast<const char*>(module)));
        return text;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

struct CountingListener : doctest::IReporter {
    explicit CountingListener(const doctest::ContextOptions&) {}
    void report_query(const doctest::QueryData&) override {}
    void test_run_start() override {}
    void test_run_end(const doctest::TestRunStats&) override {}
    void test_case_start(const doctest::TestCaseData&) override { ++g_testCasesStarted; }
    void test_case_reenter(const doctest::TestCaseData&) override {}
    void test_case_end(const doctest::CurrentTestCaseStats&) override {}
    void test_case_exception(const doctest::TestCaseException& e) override
    {
        // Runs inside doctest's unhandled-exception filter, on the crashed thread.
        if (!e.is_crash || t_lastException.code == 0) return;
        std::fprintf(stderr, "crash: exception 0x%08lX at %s\n", static_cast<unsigned long>(t_lastException.code),
                     Where(t_lastException.address).c_str());
        std::fflush(stderr);
    }
    void subcase_start(const doctest::SubcaseSignature&) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData&) override {}
    void log_message(const doctest::MessageData&) override {}
    void test_case_skipped(const doctest::TestCaseData&) override {}
};
REGISTER_LISTENER("counting", 1, CountingListener);
}  // namespace

int wmain(int, wchar_t**)
{
    AddVectoredExceptionHandler(1, RememberException);

    // doctest parses narrow arguments; the test programs take only ASCII options.
    int argc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        std::string arg;
        for (const wchar_t* p = wargv[i]; *p; ++p) arg.push_back(static_cast<char>(*p));
        args.push_back(arg);
    }
    LocalFree(wargv);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());

    doctest::Context context(static_cast<int>(argv.size()), argv.data());
    const int result = context.run();
    if (context.shouldExit()) return result;
    if (g_testCasesStarted == 0) {
        std::fprintf(stderr, "no test case matched the filters\n");
        return 3;
    }
    return result;
}
