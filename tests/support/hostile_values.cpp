#include "hostile_values.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "registry_fixture.h"

namespace hostile {

namespace {

constexpr DWORD kHugeBytes = 64 * 1024;

std::vector<BYTE> Repeated(const BYTE* pattern, size_t patternSize, size_t size)
{
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = pattern[i % patternSize];
    return bytes;
}

// Stores exactly `bytes`. The registry adds a terminator to a string value whose last unit is not
// one when the unit after the data is (taking it for a miscounted string), so the data is handed
// over with a unit of 0xFFFF behind it; the stored size is then checked.
void Store(const wchar_t* path, const wchar_t* name, DWORD type, std::vector<BYTE> bytes, HKEY root)
{
    const DWORD size = static_cast<DWORD>(bytes.size());
    bytes.push_back(0xFF);
    bytes.push_back(0xFF);
    testreg::SetRaw(path, name, type, bytes.data(), size, root);
    HKEY key = nullptr;
    DWORD stored = 0;
    const bool read = RegOpenKeyExW(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS &&
                      RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &stored) == ERROR_SUCCESS;
    if (key != nullptr) RegCloseKey(key);
    if (!read || stored != size) throw std::runtime_error("the registry did not store the value's bytes as given");
}

std::vector<BYTE> TextBytes(const std::wstring& text, size_t units)
{
    std::vector<BYTE> bytes(units * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

}  // namespace

const char* Name(Shape shape)
{
    switch (shape) {
    case Shape::Missing: return "missing";
    case Shape::OtherType: return "of another type";
    case Shape::Bytes0: return "0 bytes";
    case Shape::Bytes1: return "1 byte";
    case Shape::Bytes3: return "3 bytes";
    case Shape::Bytes5: return "5 bytes";
    case Shape::Bytes8: return "8 bytes";
    case Shape::Unterminated: return "without terminator";
    case Shape::BufferSize: return "259 units and terminator (the buffer's size)";
    case Shape::BufferSizeUnterminated: return "260 units without terminator (the buffer's size)";
    case Shape::Huge: return "64 KiB";
    }
    return "?";
}

void WriteNumber(const wchar_t* path, const wchar_t* name, Shape shape, DWORD payload, HKEY root)
{
    BYTE bytes[4];
    std::memcpy(bytes, &payload, sizeof bytes);
    const auto cut = [&](size_t size) { return Repeated(bytes, sizeof bytes, size); };
    switch (shape) {
    case Shape::Missing: testreg::DeleteValue(path, name, root); return;
    case Shape::OtherType: Store(path, name, REG_SZ, cut(4), root); return;
    case Shape::Bytes0: Store(path, name, REG_DWORD, {}, root); return;
    case Shape::Bytes1: Store(path, name, REG_BINARY, cut(1), root); return;
    case Shape::Bytes3: Store(path, name, REG_BINARY, cut(3), root); return;
    case Shape::Bytes5: Store(path, name, REG_BINARY, cut(5), root); return;
    case Shape::Bytes8: Store(path, name, REG_QWORD, cut(8), root); return;
    case Shape::Huge: Store(path, name, REG_BINARY, cut(kHugeBytes), root); return;
    default: throw std::invalid_argument("not a shape of a number");
    }
}

std::optional<DWORD> NumberAsRead(Shape shape, DWORD initial, DWORD payload)
{
    switch (shape) {
    case Shape::OtherType: return payload;
    case Shape::Bytes0: return initial;
    case Shape::Bytes1: return (initial & 0xFFFFFF00u) | (payload & 0xFFu);
    case Shape::Bytes3: return (initial & 0xFF000000u) | (payload & 0xFFFFFFu);
    default: return std::nullopt;  // missing, or longer than 4 bytes
    }
}

void WriteText(const wchar_t* path, const wchar_t* name, Shape shape, const std::wstring& text, HKEY root)
{
    const size_t units = text.size();
    const auto cut = [&](size_t size) {
        std::vector<BYTE> bytes = TextBytes(text, units + 1);
        bytes.resize(size);  // a text shorter than `size` leaves zero bytes behind its terminator
        return bytes;
    };
    switch (shape) {
    case Shape::Missing: testreg::DeleteValue(path, name, root); return;
    case Shape::OtherType: Store(path, name, REG_BINARY, TextBytes(text, units + 1), root); return;
    case Shape::Bytes0: Store(path, name, REG_SZ, {}, root); return;
    case Shape::Bytes1: Store(path, name, REG_SZ, cut(1), root); return;
    case Shape::Bytes3: Store(path, name, REG_SZ, cut(3), root); return;
    case Shape::Bytes5: Store(path, name, REG_SZ, cut(5), root); return;
    case Shape::Bytes8: Store(path, name, REG_SZ, cut(8), root); return;
    case Shape::Unterminated: Store(path, name, REG_SZ, TextBytes(text, units), root); return;
    case Shape::BufferSize:
        if (units != MAX_PATH - 1) throw std::invalid_argument("the buffer-size text must be 259 units long");
        Store(path, name, REG_SZ, TextBytes(text, units + 1), root);
        return;
    case Shape::BufferSizeUnterminated:
        if (units != MAX_PATH) throw std::invalid_argument("the unterminated buffer-size text must be 260 units long");
        Store(path, name, REG_SZ, TextBytes(text, units), root);
        return;
    case Shape::Huge: {
        const std::vector<BYTE> once = TextBytes(text, units);
        Store(path, name, REG_SZ, Repeated(once.data(), once.size(), kHugeBytes), root);
        return;
    }
    }
}

std::optional<std::wstring> TextAsRead(Shape shape, const std::wstring& text)
{
    switch (shape) {
    case Shape::OtherType:
    case Shape::Unterminated:
    case Shape::BufferSize: return text;
    case Shape::Bytes0:
    case Shape::Bytes1: return std::wstring();
    case Shape::Bytes3: return text.substr(0, 1);
    case Shape::Bytes5: return text.substr(0, 2);
    case Shape::Bytes8: return text.substr(0, 4);
    default: return std::nullopt;  // missing, or no room for the terminator
    }
}

PaddedPath PaddedProgramPath(const std::wstring& folder, size_t units)
{
    // folder \ (.\)* name: the name's length settles the parity.
    const size_t fixed = folder.size() + 1;
    const std::wstring name = (units - fixed - 5) % 2 == 0 ? L"p.exe" : L"pp.exe";
    if (fixed + name.size() > units) throw std::invalid_argument("the folder is too long to pad");
    std::wstring text = folder + L"\\";
    while (text.size() + name.size() < units) text += L".\\";
    return PaddedPath{text + name, folder + L"\\" + name};
}

}  // namespace hostile
