// Owners for the GDI objects and device contexts of the prompt (UniqueHandle policies, see
// common/unique_handle.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "unique_handle.h"

struct BrushTraits {
    using Type = HBRUSH;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DeleteObject(h); }
};

using UniqueBrush = UniqueHandle<BrushTraits>;

struct BitmapTraits {
    using Type = HBITMAP;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DeleteObject(h); }
};

using UniqueBitmap = UniqueHandle<BitmapTraits>;

// Bitmaps loaded one after another (a null handle, from a failed load, included), deleted in the
// order they were added when the list goes.
class BitmapList {
public:
    BitmapList() = default;
    ~BitmapList()
    {
        for (HBITMAP bitmap : bitmaps_) {
            if (bitmap != nullptr) DeleteObject(bitmap);
        }
    }
    BitmapList(const BitmapList&) = delete;
    BitmapList& operator=(const BitmapList&) = delete;

    // Takes ownership of `bitmap` and returns it.
    HBITMAP Add(HBITMAP bitmap)
    {
        bitmaps_.push_back(bitmap);
        return bitmap;
    }
    std::size_t Size() const { return bitmaps_.size(); }
    HBITMAP At(std::size_t index) const { return bitmaps_[index]; }

private:
    std::vector<HBITMAP> bitmaps_;
};

// A device context of a window's client area (GetDC), released to that window when the owner goes.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDC()
    {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects `object` into `dc` for the owner's lifetime; the object it replaced comes back when the
// owner goes. A null object selects nothing.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr)
    {
    }
    ~SelectedObject()
    {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
