#include "prompt_test_support.h"

#include <stdexcept>

namespace prompt_test {

void WriteUtf16File(const std::wstring& path, const std::wstring& text)
{
    std::wstring content = L"\xFEFF";
    for (const wchar_t c : text) {
        if (c == L'\n') content += L'\r';
        content += c;
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a text file");
    DWORD written = 0;
    const DWORD bytes = static_cast<DWORD>(content.size() * sizeof(wchar_t));
    const BOOL ok = WriteFile(file, content.data(), bytes, &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes) throw std::runtime_error("cannot write a text file");
}

}  // namespace prompt_test
