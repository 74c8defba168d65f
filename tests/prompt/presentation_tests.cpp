// The real prompt dialog in this process: its colours, its background and the pictures it owns.
#include <doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "dialog_script.h"
#include "glance_dlg.h"
#include "prompt_test_support.h"

using namespace prompt_test;

namespace {
constexpr int kHelpLink = 1025;

// The picture controls: the example, then the top and bottom picture of each slot.
constexpr int kPictures[] = {1018, 1002, 1003, 1012, 1013, 1004, 1005, 1017, 1016, 1006, 1007, 1011, 1010, 1023, 1024};

void OfferAllFunctions()
{
    testreg::SetDword(kFunctionList, L"Type2", 0x1021000);
    testreg::SetDword(kFunctionList, L"CapsLock", 1);
    testreg::SetDword(kFunctionList, L"RVL", 1);
    testreg::SetDword(kCameraParameters, L"MachineType", 1);
    testreg::SetDword(kMicParameters, L"Capability", 1);
}

// A 32-bit memory surface of `width` x `height` filled with `fill`, for messages that paint.
class Surface {
public:
    Surface(int width, int height, COLORREF fill) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
        const HBRUSH brush = CreateSolidBrush(fill);
        const RECT all{0, 0, width, height};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    ~Surface()
    {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    HDC Dc() const { return dc_; }
    // Pixels that are not `colour`.
    int Differing(COLORREF colour) const
    {
        GdiFlush();
        const DWORD pixel = static_cast<DWORD>(GetRValue(colour)) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
        int differing = 0;
        for (int i = 0; i < width_ * height_; ++i) differing += (bits_[i] & 0xFFFFFF) != pixel ? 1 : 0;
        return differing;
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    DWORD* bits_ = nullptr;
};
}  // namespace

TEST_SUITE("dialog") {
TEST_CASE("every control-colour message: window-text colour, the link's hot-track colour, transparent, the window-colour brush; erasing fills the client area")
{
    CleanPromptRegistry clean;
    OfferAllFunctions();
    CGlanceUIAppDlg dialog;
    const UINT messages[] = {WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN,
                             WM_CTLCOLORDLG,    WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC};
    DialogScript script([&] { return dialog.GetSafeHwnd(); });
    script.Then([&] {
        const HWND window = dialog.GetSafeHwnd();
        struct Child {
            const char* name;
            HWND window;
            COLORREF text;
        };
        const Child children[] = {
            {"the help link", GetDlgItem(window, kHelpLink), GetSysColor(COLOR_HOTLIGHT)},
            {"the message", GetDlgItem(window, 1020), GetSysColor(COLOR_WINDOWTEXT)},
            {"a group box", GetDlgItem(window, 1000), GetSysColor(COLOR_WINDOWTEXT)},
            {"the OK button", GetDlgItem(window, IDOK), GetSysColor(COLOR_WINDOWTEXT)},
            {"the dialog itself", window, GetSysColor(COLOR_WINDOWTEXT)},
        };
        for (const UINT message : messages) {
            for (const Child& child : children) {
                CAPTURE(message);
                INFO(std::string(child.name));
                const Surface surface(4, 4, RGB(1, 2, 3));
                SetTextColor(surface.Dc(), RGB(9, 9, 9));
                SetBkMode(surface.Dc(), OPAQUE);
                const LRESULT brush = SendMessageW(window, message, reinterpret_cast<WPARAM>(surface.Dc()),
                                                   reinterpret_cast<LPARAM>(child.window));
                CHECK(reinterpret_cast<HBRUSH>(brush) == dialog.BackgroundBrush());
                CHECK(GetTextColor(surface.Dc()) == child.text);
                CHECK(GetBkMode(surface.Dc()) == TRANSPARENT);
            }
        }

        RECT client{};
        GetClientRect(window, &client);
        const Surface surface(client.right, client.bottom, RGB(1, 2, 3));
        CHECK(SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface.Dc()), 0) != 0);
        CHECK(surface.Differing(GetSysColor(COLOR_WINDOW)) == 0);
    }).End(IDCANCEL).Start();
    CHECK(dialog.DoModal() == IDCANCEL);
    CHECK(script.Finished());
}

TEST_CASE("the pictures belong to the dialog object: shown while it runs, kept after its window has gone, deleted with the object")
{
    CleanPromptRegistry clean;
    OfferAllFunctions();
    std::vector<HGDIOBJ> pictures;
    HGDIOBJ brush = nullptr;
    {
        CGlanceUIAppDlg dialog;
        brush = dialog.BackgroundBrush();
        DialogScript script([&] { return dialog.GetSafeHwnd(); });
        script.Then([&] {
            for (const int id : kPictures) {
                CAPTURE(id);
                const auto bitmap = reinterpret_cast<HGDIOBJ>(
                    SendDlgItemMessageW(dialog.GetSafeHwnd(), id, STM_GETIMAGE, IMAGE_BITMAP, 0));
                CHECK(GetObjectType(bitmap) == OBJ_BITMAP);
                pictures.push_back(bitmap);
            }
        }).End(IDCANCEL).Start();
        CHECK(dialog.DoModal() == IDCANCEL);
        REQUIRE(script.Finished());
        REQUIRE(pictures.size() == std::size(kPictures));
        for (const HGDIOBJ bitmap : pictures) CHECK(GetObjectType(bitmap) == OBJ_BITMAP);
        CHECK(GetObjectType(brush) == OBJ_BRUSH);
    }
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        CAPTURE(kPictures[i]);
        CHECK(GetObjectType(pictures[i]) == 0);
    }
    CHECK(GetObjectType(brush) == 0);
}
}
