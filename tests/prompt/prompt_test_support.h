// Shared helpers of the GlanceUIApp tests: the prompt's registry state and UTF-16 text files.
#pragma once

#include <windows.h>

#include <string>

#include "registry_fixture.h"
#include "test_files.h"

namespace prompt_test {

inline constexpr const wchar_t* kFunctionList = L"Software\\Norvane\\Glance\\FunctionList";
inline constexpr const wchar_t* kCameraParameters = L"System\\CurrentControlSet\\Services\\NORVANE.CAMMUTE\\Parameters";
inline constexpr const wchar_t* kMicParameters = L"System\\CurrentControlSet\\Services\\NORVANE.MICMUTE\\Parameters";
inline constexpr const wchar_t* kDecisionKey = L"Software\\Norvane\\Glance";  // HKEY_CURRENT_USER

// Removes the prompt's function sources and its recorded decision when made and again when gone.
class CleanPromptRegistry {
public:
    CleanPromptRegistry() { Wipe(); }
    ~CleanPromptRegistry() { Wipe(); }
    CleanPromptRegistry(const CleanPromptRegistry&) = delete;
    CleanPromptRegistry& operator=(const CleanPromptRegistry&) = delete;

    static void Wipe()
    {
        testreg::DeleteTree(L"Software\\Norvane\\Glance");
        testreg::DeleteTree(L"System\\CurrentControlSet\\Services\\NORVANE.CAMMUTE");
        testreg::DeleteTree(L"System\\CurrentControlSet\\Services\\NORVANE.MICMUTE");
        testreg::DeleteTree(kDecisionKey, HKEY_CURRENT_USER);
    }
};

// True when HKEY_CURRENT_USER\Software\Norvane\Glance holds "Enable" of any type.
inline bool DecisionRecorded()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDecisionKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const LONG error = RegQueryValueExW(key, L"Enable", nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

// Writes `text` as UTF-16LE, with a byte-order mark unless told otherwise, lines ended with CR LF.
void WriteUtf16File(const std::wstring& path, const std::wstring& text, bool byteOrderMark = true);

// The text file the prompt reads beside the running program, which here is the test program
// standing in for GlanceUIApp: absent when made, written on request, removed again when gone.
class TextFileBesideProgram {
public:
    TextFileBesideProgram();
    ~TextFileBesideProgram();
    TextFileBesideProgram(const TextFileBesideProgram&) = delete;
    TextFileBesideProgram& operator=(const TextFileBesideProgram&) = delete;

    const std::wstring& Path() const { return path_; }
    void Write(const std::wstring& text, bool byteOrderMark = true) const { WriteUtf16File(path_, text, byteOrderMark); }
    void Remove() const { DeleteFileW(path_.c_str()); }

private:
    std::wstring path_;
};

}  // namespace prompt_test
