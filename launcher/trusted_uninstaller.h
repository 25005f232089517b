#pragma once

#include <windows.h>

// One thing that lets an account other than the trusted ones change the folder or
// uninstall.exe: what hold_trusted_uninstaller refuses, as the checker explains it.
enum TrustObject { trust_folder, trust_file };
enum TrustReason {
    reason_owner,         // sid owns it, and an owner may always rewrite the access list
    reason_no_owner,      // the descriptor names no owner
    reason_no_dacl,       // no access list at all: anyone may
    reason_entry,         // an allow entry gives sid rights
    reason_foreign_entry  // an allow entry whose account is not read gives rights
};

struct TrustFinding {
    TrustObject object;
    TrustReason reason;
    ACCESS_MASK rights;  // the change rights the entry gives
    BYTE entry_flags;    // the entry's AceFlags: INHERITED_ACE, ...
    USHORT entry_index;  // its place in the access list
    BYTE sid[SECURITY_MAX_SID_SIZE];  // the owner or the entry's account; empty for the others
};

struct TrustFindings {
    enum { capacity = 64 };
    TrustFinding items[capacity];
    int count;  // every finding, also those past capacity, which are not kept
};

// Opens ".\uninstall.exe" in the current directory and holds it so that, until the handle is
// closed, it can be read and run but not changed, deleted or renamed. Returns the handle only if
// no account but LocalSystem, Administrators, TrustedInstaller and the user this process runs as
// can change the file or the current directory, and the file is not this program's own file,
// own_name in the current directory. Otherwise
// INVALID_HANDLE_VALUE, with the thread's last error saying why: the error of the open
// (ERROR_FILE_NOT_FOUND, ...) or of reading the security, ERROR_ACCESS_DENIED when another
// account can change either, and ERROR_CIRCULAR_DEPENDENCY when it is this program itself.
HANDLE hold_trusted_uninstaller(const WCHAR *own_name);

// The same checks, but for whether it is this program, explained: every reason for
// ERROR_ACCESS_DENIED on the folder and the file is recorded in findings, not only the first.
HANDLE hold_uninstaller_explained(TrustFindings *findings);
