#pragma once

// The launcher lends administrator rights to whatever ".\uninstall.exe" is. That is safe only if
// no account without those rights could have put it there or changed it: otherwise such an
// account replaces it, or plants a DLL beside it, and the next "Uninstall" runs its code
// elevated.
//
// The rule, for the launcher, which stops at the first reason to refuse, and for the checker,
// which explains every one: a template, so that the launcher's copy carries no explaining.
#include <stddef.h>

#include "ntdll.h"
#include "trusted_uninstaller.h"

// Internal to each file that includes it, as the launcher's own functions were: the compiler
// inlines what is used once.
namespace trust_rule {
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

// Records one reason for refusing, when explaining. Returns whether to look for more.
template <bool explain>
bool found(TrustFindings *findings, TrustObject object, TrustReason reason, const void *sid,
           ACCESS_MASK rights, BYTE entry_flags, ULONG entry_index)
{
    if (!explain)
        return false;
    if (findings->count < TrustFindings::capacity) {
        TrustFinding &f = findings->items[findings->count];
        f.object = object;
        f.reason = reason;
        f.rights = rights;
        f.entry_flags = entry_flags;
        f.entry_index = (USHORT)entry_index;
        ZeroMemory(f.sid, sizeof f.sid);
        if (sid != NULL) {
            const SID *s = static_cast<const SID *>(sid);
            const size_t length =
                offsetof(SID, SubAuthority) + s->SubAuthorityCount * sizeof(DWORD);
            if (length <= sizeof f.sid)
                CopyMemory(f.sid, sid, length);
        }
    }
    ++findings->count;
    return true;
}

// ERROR_SUCCESS when only trusted accounts can change the object: as its owner (who may always
// rewrite the DACL), or through an allow entry that grants one of change_rights and applies to
// the object itself. Explaining, goes on past the first reason to refuse and records each.
template <bool explain>
DWORD only_trusted_can_change(HANDLE object, TrustObject kind, PSID user,
                              TrustFindings *findings)
{
    const ACCESS_MASK change_rights =
        kind == trust_folder ? folder_change_rights : file_change_rights;
    SecurityBuffer security;
    ULONG needed = 0;
    const NTSTATUS status =
        NtQuerySecurityObject(object, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &security, sizeof security, &needed);
    if (!nt_success(status))
        return RtlNtStatusToDosError(status);

    // Without explaining every reason returns at once; explaining, any that was recorded refuses.
    const int known = explain ? findings->count : 0;
    PSID owner = NULL;
    BOOLEAN defaulted = FALSE;
    if (!nt_success(RtlGetOwnerSecurityDescriptor(&security, &owner, &defaulted)) ||
        owner == NULL) {
        if (!found<explain>(findings, kind, reason_no_owner, NULL, 0, 0, 0))
            return ERROR_ACCESS_DENIED;
    } else if (!is_trusted(owner, user)) {
        if (!found<explain>(findings, kind, reason_owner, owner, 0, 0, 0))
            return ERROR_ACCESS_DENIED;
    }

    // No DACL at all (a NULL DACL, or a volume without security such as FAT): anyone may.
    BOOLEAN present = FALSE;
    PACL dacl = NULL;
    if (!nt_success(RtlGetDaclSecurityDescriptor(&security, &present, &dacl, &defaulted)) ||
        !present || dacl == NULL) {
        found<explain>(findings, kind, reason_no_dacl, NULL, 0, 0, 0);
        return ERROR_ACCESS_DENIED;
    }

    for (ULONG i = 0; i < dacl->AceCount; ++i) {
        void *entry = NULL;
        if (!nt_success(RtlGetAce(dacl, i, &entry))) {
            found<explain>(findings, kind, reason_foreign_entry, NULL, change_rights, 0, i);
            return ERROR_ACCESS_DENIED;
        }
        const ACE_HEADER *header = static_cast<const ACE_HEADER *>(entry);
        // Every allow entry keeps its mask right after the header.
        const ACCESS_ALLOWED_ACE *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(entry);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;  // only for what is created inside
        const ACCESS_MASK rights = allowed->Mask & change_rights;
        switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
            if (rights != 0 && !is_trusted(const_cast<DWORD *>(&allowed->SidStart), user)) {
                if (!found<explain>(findings, kind, reason_entry, &allowed->SidStart, rights,
                                    header->AceFlags, i))
                    return ERROR_ACCESS_DENIED;
            }
            break;
        case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
            // Their account is not where a plain entry keeps it: credited to no one.
            if (rights != 0) {
                if (!found<explain>(findings, kind, reason_foreign_entry, NULL, rights,
                                    header->AceFlags, i))
                    return ERROR_ACCESS_DENIED;
            }
            break;
        default:
            break;  // deny, audit and label entries grant nothing
        }
    }
    return explain && findings->count != known ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
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

template <bool explain>
DWORD check(HANDLE uninstaller, const WCHAR *own_name, TrustFindings *findings)
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
    const DWORD folder_error =
        only_trusted_can_change<explain>(folder, trust_folder, user_sid, findings);
    CloseHandle(folder);
    // Asked for every reason, the file is looked at too; the folder's error still comes first.
    if (folder_error != ERROR_SUCCESS &&
        (!explain || folder_error != ERROR_ACCESS_DENIED))
        return folder_error;

    const DWORD file_error =
        only_trusted_can_change<explain>(uninstaller, trust_file, user_sid, findings);
    if (folder_error != ERROR_SUCCESS)
        return folder_error;
    if (file_error != ERROR_SUCCESS)
        return file_error;

    // Started as its own uninstaller, each copy would start the next, elevated, for ever.
    // The checker is not the launcher: it has no file of its own to compare.
    return explain ? ERROR_SUCCESS : not_itself(uninstaller, own_name);
}

// With explain, every reason to refuse the folder and the file is recorded in findings, not only
// the first; the outcome is the same. Without, findings is not used.
template <bool explain>
HANDLE hold(const WCHAR *own_name, TrustFindings *findings)
{
    // Read access, so that the share mode binds others (the system records none for a handle
    // without data access); sharing read alone, so that they may read and run it, but not
    // write, delete or rename it while it is checked and started.
    const HANDLE uninstaller = CreateFileW(L"uninstall.exe", GENERIC_READ, FILE_SHARE_READ,
                                           /*security=*/NULL, OPEN_EXISTING, /*flags=*/0,
                                           /*template=*/NULL);
    if (uninstaller == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;  // ERROR_FILE_NOT_FOUND, as the start itself would say

    const DWORD error = check<explain>(uninstaller, own_name, findings);
    if (error != ERROR_SUCCESS) {
        CloseHandle(uninstaller);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return uninstaller;
}

}  // namespace
}  // namespace trust_rule
