#include "text_extent.h"

#include <string>

#include "gdi_handles.h"

BOOL MeasureWindowText(HWND window, HFONT font, RECT* extent)
{
    SetRectEmpty(extent);
    const WindowDC dc(window);
    if (!dc) return FALSE;
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    const SelectedObject selected(dc.Get(), font);
    DrawTextW(dc.Get(), text.c_str(), length, extent, DT_CALCRECT);
    return TRUE;
}
