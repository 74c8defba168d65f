#include "prompt_test_support.h"

#include <stdexcept>

namespace prompt_test {

void WriteUtf16File(const std::wstring& path, const std::wstring& text, bool byteOrderMark)
{
    std::wstring content = byteOrderMark ? L"\xFEFF" : L"";
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

TextFileBesideProgram::TextFileBesideProgram()
{
    wchar_t modulePath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("cannot name the test program");
    path_ = modulePath;
    path_ = path_.substr(0, path_.find_last_of(L'.')) + L".ini";
    Remove();
}

TextFileBesideProgram::~TextFileBesideProgram()
{
    Remove();
}

}  // namespace prompt_test
