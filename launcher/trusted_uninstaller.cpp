// The launcher lends administrator rights to whatever ".\uninstall.exe" is. That is safe only if
// no account without those rights could have put it there or changed it: otherwise such an
// account replaces it, or plants a DLL beside it, and the next "Uninstall" runs its code
// elevated.
#include "trusted_uninstaller.h"

#include <stddef.h>

#include "ntdll.h"

namespace {

// Rights that let an account put another file in the folder or another program in the file.
// Deny entries are not credited, so the rule stays simple and errs towards refusing.
const ACCESS_MASK folder_change_rights = FILE_ADD_FILE | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                         WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
const ACCESS_MASK file_change_rights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC |
                                       WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// A SID with room for the longest one below.
struct FixedSid {
    BYTE revision;
    BYTE sub_authority_count;
    SID_IDENTIFIER_AUTHORITY authority;
    DWORD sub_authority[6];
};
static_assert(offsetof(FixedSid, sub_authority) == offsetof(SID, SubAuthority), "a SID's layout");

const FixedSid local_system = {SID_REVISION, 1, SECURITY_NT_AUTHORITY,
                               {SECURITY_LOCAL_SYSTEM_RID}};
const FixedSid administrators = {SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                                 {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
// NT SERVICE\TrustedInstaller: the service SID, derived from the service's name.
const FixedSid trusted_installer = {
    SID_REVISION, 6, SECURITY_NT_AUTHORITY,
    {SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}};

const FixedSid *const trusted_accounts[] = {&local_system, &administrators, &trusted_installer};

bool is_trusted(PSID sid, PSID user)
{
    for (const FixedSid *trusted : trusted_accounts) {
        if (RtlEqualSid(sid, const_cast<FixedSid *>(trusted)))
            return true;
    }
    // This user's own programs can already do whatever this user can.
    return RtlEqualSid(sid, user) != FALSE;
}

struct ThisUser {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];
};

NTSTATUS query_user(ThisUser *user)
{
    HANDLE token;
    NTSTATUS status = NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    if (!nt_success(status))
        return status;
    ULONG returned = 0;
    status = NtQueryInformationToken(token, TokenUser, user, sizeof *user, &returned);
    NtClose(token);
    return status;
}

// Room for any descriptor with its owner and DACL: an ACL's size is a 16-bit number.
union SecurityBuffer {
    SECURITY_DESCRIPTOR_RELATIVE header;
    BYTE bytes[sizeof(SECURITY_DESCRIPTOR_RELATIVE) + SECURITY_MAX_SID_SIZE + 0x10000];
};

// ERROR_SUCCESS when only trusted accounts can change the object: as its owner (who may always
// rewrite the DACL), or through an allow entry that grants one of change_rights and applies to
// the object itself.
DWORD only_trusted_can_change(HANDLE object, ACCESS_MASK change_rights, PSID user)
{
    SecurityBuffer security;
    ULONG needed = 0;
    const NTSTATUS status =
        NtQuerySecurityObject(object, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &security, sizeof security, &needed);
    if (!nt_success(status))
        return RtlNtStatusToDosError(status);

    PSID owner = NULL;
    BOOLEAN defaulted = FALSE;
    if (!nt_success(RtlGetOwnerSecurityDescriptor(&security, &owner, &defaulted)) ||
        owner == NULL || !is_trusted(owner, user))
        return ERROR_ACCESS_DENIED;

    // No DACL at all (a NULL DACL, or a volume without security such as FAT): anyone may.
    BOOLEAN present = FALSE;
    PACL dacl = NULL;
    if (!nt_success(RtlGetDaclSecurityDescriptor(&security, &present, &dacl, &defaulted)) ||
        !present || dacl == NULL)
        return ERROR_ACCESS_DENIED;

    for (ULONG i = 0; i < dacl->AceCount; ++i) {
        void *entry = NULL;
        if (!nt_success(RtlGetAce(dacl, i, &entry)))
            return ERROR_ACCESS_DENIED;
        const ACE_HEADER *header = static_cast<const ACE_HEADER *>(entry);
        // Every allow entry keeps its mask right after the header.
        const ACCESS_ALLOWED_ACE *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(entry);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;  // only for what is created inside
        switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
            if ((allowed->Mask & change_rights) != 0 &&
                !is_trusted(const_cast<DWORD *>(&allowed->SidStart), user))
                return ERROR_ACCESS_DENIED;
            break;
        case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
            // Their account is not where a plain entry keeps it: credited to no one.
            if ((allowed->Mask & change_rights) != 0)
                return ERROR_ACCESS_DENIED;
            break;
        default:
            break;  // deny, audit and label entries grant nothing
        }
    }
    return ERROR_SUCCESS;
}

// ERROR_CIRCULAR_DEPENDENCY when the file is this program's own: by identity, whatever the
// names or their case, hard links included.
DWORD not_itself(HANDLE uninstaller, const WCHAR *own_name)
{
    const HANDLE own = CreateFileW(own_name, FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   /*security=*/NULL, OPEN_EXISTING, /*flags=*/0,
                                   /*template=*/NULL);
    if (own == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    const bool known = GetFileInformationByHandle(own, &mine) &&
                       GetFileInformationByHandle(uninstaller, &theirs);
    const DWORD error = known ? ERROR_SUCCESS : GetLastError();
    CloseHandle(own);
    if (!known)
        return error;
    const bool same = mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                      mine.nFileIndexHigh == theirs.nFileIndexHigh &&
                      mine.nFileIndexLow == theirs.nFileIndexLow;
    return same ? ERROR_CIRCULAR_DEPENDENCY : ERROR_SUCCESS;
}

DWORD check(HANDLE uninstaller, const WCHAR *own_name)
{
    ThisUser user;
    const NTSTATUS status = query_user(&user);
    if (!nt_success(status))
        return RtlNtStatusToDosError(status);
    const PSID user_sid = user.user.User.Sid;

    // The folder as entered, whatever its name says now. With its final separator: "." alone
    // would lose the spaces and dots at the end of the last name and open "...\App" for the
    // "...\App " that was entered, where the start looks for the program.
    const HANDLE folder =
        CreateFileW(L".\\", READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    /*security=*/NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                    /*template=*/NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = only_trusted_can_change(folder, folder_change_rights, user_sid);
    CloseHandle(folder);
    if (error != ERROR_SUCCESS)
        return error;

    error = only_trusted_can_change(uninstaller, file_change_rights, user_sid);
    if (error != ERROR_SUCCESS)
        return error;

    // Started as its own uninstaller, each copy would start the next, elevated, for ever.
    return not_itself(uninstaller, own_name);
}

}  // namespace

HANDLE hold_trusted_uninstaller(const WCHAR *own_name)
{
    // Read access, so that the share mode binds others (the system records none for a handle
    // without data access); sharing read alone, so that they may read and run it, but not
    // write, delete or rename it while it is checked and started.
    const HANDLE uninstaller = CreateFileW(L"uninstall.exe", GENERIC_READ, FILE_SHARE_READ,
                                           /*security=*/NULL, OPEN_EXISTING, /*flags=*/0,
                                           /*template=*/NULL);
    if (uninstaller == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;  // ERROR_FILE_NOT_FOUND, as the start itself would say

    const DWORD error = check(uninstaller, own_name);
    if (error != ERROR_SUCCESS) {
        CloseHandle(uninstaller);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return uninstaller;
}
