// The prompt's model over the real registry under wine: function discovery, the machine-value
// read, the recorded decision and the dialog's decision handlers (through its message table).
#include <doctest.h>

#include <cstdint>
#include <vector>

#include "dialog_script.h"
#include "feedback_choice.h"
#include "function_sources.h"
#include "glance_dlg.h"
#include "prompt_test_support.h"

using namespace prompt_test;

namespace {
struct SourceValue {
    const wchar_t* key;
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
};

std::vector<BYTE> Dword(DWORD value)
{
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

std::vector<BYTE> Qword(std::uint64_t value)
{
    std::vector<BYTE> bytes = Dword(static_cast<DWORD>(value));
    const std::vector<BYTE> high = Dword(static_cast<DWORD>(value >> 32));
    bytes.insert(bytes.end(), high.begin(), high.end());
    return bytes;
}

SourceValue Type2(DWORD value) { return {kFunctionList, L"Type2", REG_DWORD, Dword(value)}; }
SourceValue CapsLock(DWORD value) { return {kFunctionList, L"CapsLock", REG_DWORD, Dword(value)}; }
SourceValue Rvl(DWORD value) { return {kFunctionList, L"RVL", REG_DWORD, Dword(value)}; }
SourceValue MachineType(DWORD value) { return {kCameraParameters, L"MachineType", REG_DWORD, Dword(value)}; }
SourceValue Capability(DWORD value) { return {kMicParameters, L"Capability", REG_DWORD, Dword(value)}; }

void Arrange(const std::vector<SourceValue>& values)
{
    for (const SourceValue& v : values)
        testreg::SetRaw(v.key, v.name, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
}

using PF = PromptFunction;
}  // namespace

TEST_SUITE("model") {
TEST_CASE("DiscoverFunctions offers what the sources say, in the fixed order, and flags readable sources")
{
    struct Row {
        const char* name;
        std::vector<SourceValue> values;
        BOOL sourcesFound;
        std::vector<PromptFunction> functions;
    };
    const Row rows[] = {
        {"no source at all", {}, FALSE, {}},
        {"the key without any source value", {{kFunctionList, L"Unrelated", REG_DWORD, Dword(1)}}, FALSE, {}},
        {"CapsLock alone is offered but never counts as a source", {CapsLock(1)}, FALSE, {PF::CapsLock}},
        {"CapsLock other than 1", {CapsLock(2)}, FALSE, {}},
        {"Type2 with none of its three bits", {Type2(~(kType2FnLock | kType2Touchpad | kType2NumLock))}, TRUE, {}},
        {"Type2 bits in the order FnLock, Touchpad, NumLock", {Type2(0x1021000)}, TRUE, {PF::FnLock, PF::Touchpad, PF::NumLock}},
        {"Type2 NumLock bit alone", {Type2(0x1000)}, TRUE, {PF::NumLock}},
        {"Type2 Touchpad bit alone", {Type2(0x1000000)}, TRUE, {PF::Touchpad}},
        {"RVL other than 1", {Rvl(0)}, TRUE, {}},
        {"MachineType other than 1", {MachineType(2)}, TRUE, {}},
        {"Capability other than 1", {Capability(0)}, TRUE, {}},
        {"all seven",
         {Capability(1), MachineType(1), Rvl(1), CapsLock(1), Type2(0x1021000)},
         TRUE,
         {PF::FnLock, PF::Touchpad, PF::NumLock, PF::CapsLock, PF::RVL, PF::Camera, PF::Microphone}},
        {"8-byte values are not read",
         {{kFunctionList, L"Type2", REG_QWORD, Qword(0x20000)},
          {kFunctionList, L"CapsLock", REG_QWORD, Qword(1)},
          {kFunctionList, L"RVL", REG_QWORD, Qword(1)},
          {kCameraParameters, L"MachineType", REG_QWORD, Qword(1)},
          {kMicParameters, L"Capability", REG_QWORD, Qword(1)}},
         FALSE,
         {}},
        {"the value's type plays no part",
         {{kFunctionList, L"RVL", REG_BINARY, Dword(1)}, {kMicParameters, L"Capability", REG_SZ, {L'1', 0, 0, 0}}},
         TRUE,
         {PF::RVL}},
        {"each read starts from a cleared buffer",
         {Type2(0x20000), {kFunctionList, L"CapsLock", REG_BINARY, {1}}, {kFunctionList, L"RVL", REG_BINARY, {1, 0}}},
         TRUE,
         {PF::FnLock, PF::CapsLock, PF::RVL}},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        CleanPromptRegistry clean;
        Arrange(row.values);
        const long heldBefore = HeldHandleCount();
        CGlanceUIAppDlg dialog;
        CHECK(dialog.SourcesFound() == row.sourcesFound);
        REQUIRE(dialog.FunctionCount() == static_cast<int>(row.functions.size()));
        for (int slot = 0; slot < kPromptFunctionSlots; ++slot) {
            CAPTURE(slot);
            const PromptFunction expected = slot < dialog.FunctionCount() ? row.functions[slot] : PF::None;
            CHECK(dialog.FunctionAt(slot) == expected);
        }
        // Discovery is repeatable and holds no key open afterwards (the brush is the one handle).
        CHECK(dialog.DiscoverFunctions() == row.sourcesFound);
        CHECK(dialog.FunctionCount() == static_cast<int>(row.functions.size()));
        CHECK(HeldHandleCount() == heldBefore + 1);
    }
}

TEST_CASE("QueryMachineValue writes its buffer only when the value was read")
{
    CleanPromptRegistry clean;
    constexpr DWORD kCanary = 0xAAAAAAAA;
    DWORD value = kCanary;
    CHECK_FALSE(QueryMachineValue(kFunctionList, L"Type2", &value));  // no key
    CHECK(value == kCanary);

    testreg::SetDword(kFunctionList, L"Other", 3);
    CHECK_FALSE(QueryMachineValue(kFunctionList, L"Type2", &value));  // no value
    CHECK(value == kCanary);

    testreg::SetQword(kFunctionList, L"Type2", 0x20000);
    CHECK_FALSE(QueryMachineValue(kFunctionList, L"Type2", &value));  // longer than 4 bytes
    CHECK(value == kCanary);

    testreg::SetDword(kFunctionList, L"Type2", 0x1021000);
    CHECK(QueryMachineValue(kFunctionList, L"Type2", &value));
    CHECK(value == 0x1021000);

    // A shorter value replaces only its own bytes; the dialog clears the buffer before each read.
    const BYTE one = 1;
    testreg::SetRaw(kFunctionList, L"CapsLock", REG_BINARY, &one, 1);
    value = kCanary;
    CHECK(QueryMachineValue(kFunctionList, L"CapsLock", &value));
    CHECK(value == 0xAAAAAA01);
}

TEST_CASE("SaveFeedbackChoice records 1 or 0 as REG_DWORD, creating the key")
{
    struct Row {
        BOOL enable;
        DWORD recorded;
    };
    for (const Row row : {Row{TRUE, 1}, Row{FALSE, 0}, Row{7, 1}}) {
        CAPTURE(row.enable);
        CleanPromptRegistry clean;
        REQUIRE_FALSE(testreg::KeyExists(kDecisionKey, HKEY_CURRENT_USER));
        CHECK(SaveFeedbackChoice(row.enable));
        CHECK(testreg::GetDword(kDecisionKey, L"Enable", HKEY_CURRENT_USER) == row.recorded);
    }
}

TEST_CASE("the dialog's table: OK records 1, No records 0, cancel records nothing")
{
    struct Row {
        const char* name;
        WPARAM command;
        INT_PTR modalResult;  // -1: the dialog does not end
        int recorded;         // -1: nothing recorded
    };
    const Row rows[] = {
        {"OK", MAKEWPARAM(IDOK, BN_CLICKED), IDOK, 1},
        {"No, thank you.", MAKEWPARAM(IDNO, BN_CLICKED), IDCANCEL, 0},
        {"cancel: Escape, the close button, Alt+F4", MAKEWPARAM(IDCANCEL, BN_CLICKED), IDCANCEL, -1},
        {"another notification from OK", MAKEWPARAM(IDOK, BN_DOUBLECLICKED), -1, -1},
        {"another control", MAKEWPARAM(1025, BN_CLICKED), -1, -1},
    };
    const auto checkRecorded = [](const Row& row) {
        if (row.recorded == -1) {
            CHECK_FALSE(DecisionRecorded());
        } else {
            CHECK(testreg::GetDword(kDecisionKey, L"Enable", HKEY_CURRENT_USER) == static_cast<DWORD>(row.recorded));
        }
    };
    constexpr INT_PTR kNotEnded = 99;
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        {
            INFO("the table alone, without a window");
            CleanPromptRegistry clean;
            CGlanceUIAppDlg dialog;
            LRESULT result = 0;
            CHECK(dialog.OnWndMsg(WM_COMMAND, row.command, 0, &result) == (row.modalResult != -1));
            checkRecorded(row);
        }
        {
            INFO("the dialog running, its template from the program's resources");
            CleanPromptRegistry clean;
            CGlanceUIAppDlg dialog;
            DialogScript script([&] { return dialog.GetSafeHwnd(); });
            script.Then([&] { PostMessageW(dialog.GetSafeHwnd(), WM_COMMAND, row.command, 0); }).End(kNotEnded).Start();
            CHECK(dialog.DoModal() == (row.modalResult != -1 ? row.modalResult : kNotEnded));
            checkRecorded(row);
        }
    }
}

TEST_CASE("the dialog object owns a window-colour brush for its whole life")
{
    const long heldBefore = HeldHandleCount();
    {
        CGlanceUIAppDlg dialog;
        REQUIRE(dialog.BackgroundBrush() != nullptr);
        LOGBRUSH brush{};
        CHECK(GetObjectW(dialog.BackgroundBrush(), sizeof brush, &brush) == sizeof brush);
        CHECK(brush.lbStyle == BS_SOLID);
        CHECK(brush.lbColor == GetSysColor(COLOR_WINDOW));
        CHECK(HeldHandleCount() == heldBefore + 1);
    }
    CHECK(HeldHandleCount() == heldBefore);
}
}
