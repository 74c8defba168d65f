// doctest main for the test programs. A run whose filters select no test case fails, so that a
// mistyped suite name in the CTest registration cannot pass silently.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
int g_testCasesStarted = 0;

struct CountingListener : doctest::IReporter {
    explicit CountingListener(const doctest::ContextOptions&) {}
    void report_query(const doctest::QueryData&) override {}
    void test_run_start() override {}
    void test_run_end(const doctest::TestRunStats&) override {}
    void test_case_start(const doctest::TestCaseData&) override { ++g_testCasesStarted; }
    void test_case_reenter(const doctest::TestCaseData&) override {}
    void test_case_end(const doctest::CurrentTestCaseStats&) override {}
    void test_case_exception(const doctest::TestCaseException&) override {}
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
