#include <doctest.h>

#include <cwchar>
#include <string>

#include "bounded_string.h"

namespace {
constexpr wchar_t kCanary = L'#';

struct Case {
    const char* name;
    size_t destUnits;     // size handed to the operation
    const wchar_t* prior;  // content before (Cat only)
    const wchar_t* source;
    bool ok;
    const wchar_t* expected;  // dest afterwards; null = untouched (canary)
};

// Runs `op` on a 16-unit buffer filled with canaries and checks that nothing beyond destUnits
// was written.
template <typename Op>
void Check(const Case& c, Op op)
{
    INFO(c.name);
    wchar_t buffer[16];
    std::wmemset(buffer, kCanary, 16);
    if (c.prior != nullptr) std::wcscpy(buffer, c.prior);
    const bool ok = op(buffer, c.destUnits, c.source);
    CHECK(ok == c.ok);
    if (c.expected == nullptr) {
        CHECK(buffer[0] == kCanary);
    } else {
        CHECK(std::wstring(buffer) == c.expected);
    }
    for (size_t i = c.destUnits; i < 16; ++i) CHECK(buffer[i] == kCanary);
}
}  // namespace

TEST_SUITE("common") {
TEST_CASE("BoundedCopy never overruns, always terminates and reports truncation")
{
    const Case cases[] = {
        {"exact fit", 4, nullptr, L"abc", true, L"abc"},
        {"one unit too long", 4, nullptr, L"abcd", false, L"abc"},
        {"empty source", 4, nullptr, L"", true, L""},
        {"zero-size buffer", 0, nullptr, L"abc", false, nullptr},
        {"null source", 4, nullptr, nullptr, false, L""},
        {"room to spare", 10, nullptr, L"abc", true, L"abc"},
    };
    for (const auto& c : cases) Check(c, BoundedCopy);
}

TEST_CASE("BoundedCat appends within the buffer and reports truncation")
{
    const Case cases[] = {
        {"exact fit", 6, L"ab", L"cde", true, L"abcde"},
        {"one unit too long", 6, L"ab", L"cdef", false, L"abcde"},
        {"empty source", 6, L"ab", L"", true, L"ab"},
        {"zero-size buffer", 0, nullptr, L"abc", false, nullptr},
        {"destination already full", 3, L"ab", L"c", false, L"ab"},
    };
    for (const auto& c : cases) Check(c, BoundedCat);
}

TEST_CASE("BoundedFormat writes like StringCchPrintfW")
{
    auto formatPath = [](wchar_t* dest, size_t units, const wchar_t* dir) {
        return BoundedFormat(dest, units, L"%s\\k%d.exe", dir, 5);
    };
    const Case cases[] = {
        {"exact fit", 10, nullptr, L"C:", true, L"C:\\k5.exe"},
        {"one unit too long", 10, nullptr, L"C:x", false, L"C:x\\k5.ex"},
        {"empty argument", 10, nullptr, L"", true, L"\\k5.exe"},
        {"zero-size buffer", 0, nullptr, L"C:", false, nullptr},
    };
    for (const auto& c : cases) Check(c, formatPath);

    wchar_t name[8];
    CHECK(BoundedFormat(name, 8, L"%02X", 10u));
    CHECK(std::wstring(name) == L"0A");
}
}
