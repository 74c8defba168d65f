#include "bounded_string.h"

#include <windows.h>
#include <strsafe.h>

#include <cstdarg>

bool BoundedCopy(wchar_t* dest, size_t destUnits, const wchar_t* source)
{
    if (dest == nullptr || destUnits == 0) return false;
    if (source == nullptr) {
        dest[0] = L'\0';
        return false;
    }
    return SUCCEEDED(StringCchCopyW(dest, destUnits, source));
}

bool BoundedCat(wchar_t* dest, size_t destUnits, const wchar_t* source)
{
    if (dest == nullptr || destUnits == 0) return false;
    if (source == nullptr) return false;
    return SUCCEEDED(StringCchCatW(dest, destUnits, source));
}

bool BoundedFormat(wchar_t* dest, size_t destUnits, const wchar_t* format, ...)
{
    if (dest == nullptr || destUnits == 0) return false;
    if (format == nullptr) {
        dest[0] = L'\0';
        return false;
    }
    va_list args;
    va_start(args, format);
    const HRESULT hr = StringCchVPrintfW(dest, destUnits, format, args);
    va_end(args);
    return SUCCEEDED(hr);
}
