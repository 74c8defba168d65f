// A folder laid out as an installation of the service: a copy of the test build of fnkeyd.exe,
// beside it the publisher-signed default handler programs (ostrel<n>.exe, brisk_<n>.exe), the
// publisher-signed indicators (kivra.exe, kivrad.exe), the MOLTEX32.DLL stand-in and the
// terminal-services stand-in that the test prefix loads for fnkeyd.exe. Removed when done.
#pragma once

#include <string>
#include <vector>

#include "test_files.h"

namespace testfiles {

class ServiceProgramFolder {
public:
    ServiceProgramFolder();

    const std::wstring& Path() const { return dir_.Path(); }
    // The folder in short (8.3) form, as the service records its own directory.
    std::wstring ShortPath() const;
    // The copy of fnkeyd.exe.
    std::wstring Service() const { return dir_.File(L"fnkeyd.exe"); }
    // Paths of the default handler programs in the folder.
    const std::vector<std::wstring>& DefaultPrograms() const { return defaultPrograms_; }
    // `name` in the folder.
    std::wstring File(const wchar_t* name) const { return dir_.File(name); }

private:
    ScratchDir dir_;
    std::vector<std::wstring> defaultPrograms_;
};

}  // namespace testfiles
