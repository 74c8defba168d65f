// Dialog template 102 of GlanceUIApp as it must be: the header and the 28 controls in template
// (= tab) order. Written out with numbers, apart from the program's resource.h, so that a wrong
// identifier there is caught too.
#pragma once

#include <windows.h>

namespace prompt_test {

struct ExpectedControl {
    DWORD id;
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

inline constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

inline constexpr ExpectedControl kExpectedControls[] = {
    {1, L"BUTTON", L"OK", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 245, 230, 75, 14},
    {7, L"BUTTON", L"No, thank you.", kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 325, 230, 75, 14},
    {1002, L"STATIC", L"", kChild | SS_BITMAP, 0, 50, 48, 35, 30},
    {1003, L"STATIC", L"", kChild | SS_BITMAP, 0, 50, 89, 35, 30},
    {1000, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 40, 38, 57, 95},
    {1001, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 109, 38, 57, 95},
    {1005, L"STATIC", L"", kChild | SS_BITMAP, 0, 120, 89, 35, 30},
    {1004, L"STATIC", L"", kChild | SS_BITMAP, 0, 120, 48, 35, 30},
    {1006, L"STATIC", L"", kChild | SS_BITMAP, 0, 188, 48, 35, 30},
    {1007, L"STATIC", L"", kChild | SS_BITMAP, 0, 188, 89, 35, 30},
    {1008, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 178, 38, 57, 95},
    {1009, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 213, 38, 57, 95},
    {1010, L"STATIC", L"", kChild | SS_BITMAP, 0, 223, 89, 35, 30},
    {1011, L"STATIC", L"", kChild | SS_BITMAP, 0, 223, 48, 35, 30},
    {1012, L"STATIC", L"", kChild | SS_BITMAP, 0, 86, 48, 35, 30},
    {1013, L"STATIC", L"", kChild | SS_BITMAP, 0, 86, 89, 35, 30},
    {1014, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 77, 38, 57, 95},
    {1015, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 143, 38, 57, 95},
    {1016, L"STATIC", L"", kChild | SS_BITMAP, 0, 154, 89, 35, 30},
    {1017, L"STATIC", L"", kChild | SS_BITMAP, 0, 154, 48, 35, 30},
    {1018, L"STATIC", L"", kChild | SS_BITMAP, 0, 331, 106, 114, 75},
    {1019, L"BUTTON", L"Example", kChild | BS_GROUPBOX, 0, 308, 95, 154, 93},
    {1020, L"STATIC", L"Static", kChild | SS_LEFT | WS_GROUP, WS_EX_TRANSPARENT, 7, 7, 35, 18},
    {1021, L"BUTTON", L"Static", kChild | BS_GROUPBOX, 0, 246, 38, 57, 95},
    {1023, L"STATIC", L"", kChild | SS_BITMAP, 0, 257, 48, 35, 30},
    {1024, L"STATIC", L"", kChild | SS_BITMAP, 0, 257, 89, 35, 30},
    {1025, L"STATIC", L"What's this?", kChild | SS_LEFT | SS_NOTIFY | WS_GROUP | WS_TABSTOP, 0, 321, 68, 76, 11},
    {1026, L"STATIC", L"", kChild | SS_ICON, 0, 321, 49, 20, 20},
};

inline constexpr DWORD kExpectedDialogStyle = 0x90C800C8;  // popup, visible, caption, system menu, modal frame, font
inline constexpr DWORD kExpectedDialogExStyle = 0x00040008;  // app window, topmost

}  // namespace prompt_test
