// The extent of a window's text as the prompt measures it for placement and focus rectangles.
#pragma once

#include <windows.h>

// The rectangle DrawTextW with DT_CALCRECT alone gives for the current text of `window`, drawn
// with `font` (null: the device context's default font) on a client device context of `window`,
// starting from an empty rectangle: (0, 0, width, height) in the window's client coordinates.
// Lines break only at line breaks in the text. FALSE when no device context could be had.
BOOL MeasureWindowText(HWND window, HFONT font, RECT* extent);
