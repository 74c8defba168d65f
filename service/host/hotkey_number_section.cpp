#include "host/hotkey_number_section.h"

#include <aclapi.h>

#include <cstring>

#include "win32_owners.h"

namespace {

struct SidTraits {
    using Type = PSID;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { FreeSid(h); }
};
using UniqueSid = UniqueHandle<SidTraits>;

}  // namespace

bool CreateHotkeyNumberSection(UniqueKernelHandle* section, DWORD* error)
{
    section->Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kHotkeyNumberSectionSize,
                                      kHotkeyNumberSectionName));
    if (!*section) {
        *error = GetLastError();
        return false;
    }
    return true;
}

BOOL SecureHotkeyNumberSection(const wchar_t* objectName)
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    UniqueSid everyone;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.Put())) return FALSE;

    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_READ | GENERIC_WRITE;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.Get());

    PACL acl = nullptr;
    DWORD error = SetEntriesInAclW(1, &access, nullptr, &acl);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    UniqueLocalMemory ownAcl(acl);
    error = SetNamedSecurityInfoW(const_cast<LPWSTR>(objectName), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, acl, nullptr);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

bool ReadHotkeyIndex(HANDLE section, DWORD* index)
{
    if (section == nullptr) return false;
    UniqueMappedView view(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) return false;
    std::memcpy(index, view.Get(), sizeof *index);
    return true;
}

bool WriteHotkeyIndex(HANDLE section, DWORD index)
{
    if (section == nullptr) return false;
    UniqueMappedView view(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
    if (!view) return false;
    std::memcpy(view.Get(), &index, sizeof index);
    return true;
}
