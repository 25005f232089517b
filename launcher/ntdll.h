#pragma once

// The few NTDLL functions that read a token and a security descriptor. Every process has NTDLL
// loaded already; ADVAPI32, which offers the same under other names, would be one more DLL to
// load at every start. Declared here: mingw-w64 has them only in its driver kit's headers.
#include <windows.h>

typedef LONG NTSTATUS;

// Imported, as the system headers declare theirs: called through the import slot, which a test
// can fill with a fake.
#define NTDLL_IMPORT extern "C" __declspec(dllimport)

NTDLL_IMPORT NTSTATUS NTAPI NtOpenProcessToken(HANDLE process, ACCESS_MASK access, HANDLE *token);
NTDLL_IMPORT NTSTATUS NTAPI NtQueryInformationToken(HANDLE token,
                                                    TOKEN_INFORMATION_CLASS information_class,
                                                    void *information, ULONG size,
                                                    ULONG *returned);
NTDLL_IMPORT NTSTATUS NTAPI NtQuerySecurityObject(HANDLE object, SECURITY_INFORMATION information,
                                                  PSECURITY_DESCRIPTOR descriptor, ULONG size,
                                                  ULONG *needed);
NTDLL_IMPORT NTSTATUS NTAPI NtClose(HANDLE handle);
NTDLL_IMPORT NTSTATUS NTAPI RtlGetOwnerSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                                          PSID *owner, BOOLEAN *defaulted);
NTDLL_IMPORT NTSTATUS NTAPI RtlGetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                                         BOOLEAN *present, PACL *dacl,
                                                         BOOLEAN *defaulted);
NTDLL_IMPORT NTSTATUS NTAPI RtlGetAce(PACL acl, ULONG index, void **ace);
NTDLL_IMPORT BOOLEAN NTAPI RtlEqualSid(PSID first, PSID second);
NTDLL_IMPORT ULONG NTAPI RtlNtStatusToDosError(NTSTATUS status);

inline bool nt_success(NTSTATUS status)
{
    return status >= 0;
}
