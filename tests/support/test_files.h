// Files of the test programs: the build's bin folder, and scratch folders that clean up after
// themselves.
#pragma once

#include <string>

namespace testfiles {

// The folder of the running test program: the build's bin folder, which also holds the programs
// under test, the stand-ins and the signed copies.
std::wstring BinDir();
// `name` in that folder.
std::wstring BinPath(const wchar_t* name);

// A fresh folder under the temporary folder, removed with its files when done.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return path_; }
    // `name` in the folder.
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
    // Copies `source` into the folder as `name`; returns the new file's path.
    std::wstring Copy(const std::wstring& source, const wchar_t* name) const;
    // Creates an empty file `name`; returns its path.
    std::wstring Touch(const wchar_t* name) const;

private:
    std::wstring path_;
};

}  // namespace testfiles
