// Registry values in the shapes that other components, or anyone with administrator rights, may
// leave where the programs expect a 4-byte number or a path: missing, of another type, too short,
// too long, without their terminator, exactly as large as the readers' buffers, 64 KiB large.
//
// Both programs read numbers into a 4-byte buffer without looking at the type: a value of 4 bytes
// or fewer is read (a shorter one replaces only the bytes it has, the rest keep what the buffer
// held), a longer one is not. Paths and argument texts are read into 260 UTF-16 units: a value
// that fits, with or without its terminator, is read as text ending at its last unit; one that
// leaves no room for the terminator is not. AsRead() states those rules, for the tests' tables.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace hostile {

enum class Shape {
    Missing,
    OtherType,     // numbers: REG_SZ holding the 4 bytes; texts: REG_BINARY holding the text and its terminator
    Bytes0,
    Bytes1,
    Bytes3,
    Bytes5,
    Bytes8,
    Unterminated,  // texts: the text without its terminator
    BufferSize,    // texts: 259 units and the terminator, 520 bytes (the text padded, see Write)
    BufferSizeUnterminated,  // texts: 260 units, 520 bytes, no room for a terminator
    Huge,          // 64 KiB
};

inline constexpr Shape kNumberShapes[] = {Shape::Missing, Shape::OtherType, Shape::Bytes0, Shape::Bytes1,
                                          Shape::Bytes3,  Shape::Bytes5,    Shape::Bytes8, Shape::Huge};
inline constexpr Shape kTextShapes[] = {Shape::Missing,      Shape::OtherType,  Shape::Bytes0,
                                        Shape::Bytes1,       Shape::Bytes3,     Shape::Bytes5,
                                        Shape::Bytes8,       Shape::Unterminated, Shape::BufferSize,
                                        Shape::BufferSizeUnterminated, Shape::Huge};

const char* Name(Shape shape);

// Number values. Write() stores the little-endian bytes of `payload` in `shape` (the first 1 or 3
// bytes, or followed by more bytes up to 5, 8 or 64 Ki), or removes the value for Missing.
void WriteNumber(const wchar_t* path, const wchar_t* name, Shape shape, DWORD payload, HKEY root = HKEY_LOCAL_MACHINE);
// What a 4-byte read starting from `initial` yields; nothing when the read fails.
std::optional<DWORD> NumberAsRead(Shape shape, DWORD initial, DWORD payload);

// Text values. `text` is what the shape is cut from; for BufferSize and BufferSizeUnterminated it
// must be exactly 259 and 260 units long (see Padded). Removes the value for Missing.
void WriteText(const wchar_t* path, const wchar_t* name, Shape shape, const std::wstring& text,
               HKEY root = HKEY_LOCAL_MACHINE);
// The text a 260-unit read yields; nothing when the read fails.
std::optional<std::wstring> TextAsRead(Shape shape, const std::wstring& text);

// A program path in `folder` written out in exactly `units` UTF-16 units by ".\" steps after the
// folder: `text` names the file `file`, whose own path stays short.
struct PaddedPath {
    std::wstring text;
    std::wstring file;
};
PaddedPath PaddedProgramPath(const std::wstring& folder, size_t units);

}  // namespace hostile
