#include "folder_check.h"

#include <sddl.h>
#include <stdarg.h>
#include <stdio.h>

#include "launch.h"
#include "own_folder.h"
#include "report.h"
#include "trusted_uninstaller.h"

namespace {

void add(CheckReport *report, const WCHAR *format, ...)
{
    if (report->length + 1 >= report->size)
        return;
    const size_t room = report->size - report->length - 1;
    va_list arguments;
    va_start(arguments, format);
    const int written = _vsnwprintf(report->text + report->length, room, format, arguments);
    va_end(arguments);
    // A cut result gives -1, or room without a terminator.
    report->length += written < 0 || (size_t)written > room ? room : (size_t)written;
    report->text[report->length] = L'\0';
}

// Text in the ANSI code page, as the launcher's box gets it.
void add_ansi(CheckReport *report, const char *text)
{
    WCHAR wide[failure_text_size];
    if (MultiByteToWideChar(CP_ACP, /*flags=*/0, text, -1, wide, failure_text_size) == 0)
        wide[0] = L'\0';
    add(report, L"%ls", wide);
}

// "DOMAIN\name (S-1-...)", or the SID alone when the system has no name for it.
void add_account(CheckReport *report, PSID sid)
{
    WCHAR *sid_text = NULL;
    if (!ConvertSidToStringSidW(sid, &sid_text))
        sid_text = NULL;
    WCHAR name[256], domain[256];
    DWORD name_size = 256, domain_size = 256;
    SID_NAME_USE use;
    const WCHAR *shown_sid = sid_text != NULL ? sid_text : L"an unreadable SID";
    if (LookupAccountSidW(/*system=*/NULL, sid, name, &name_size, domain, &domain_size, &use))
        add(report, L"%ls%ls%ls (%ls)", domain, domain[0] != L'\0' ? L"\\" : L"", name,
            shown_sid);
    else
        add(report, L"%ls", shown_sid);
    if (sid_text != NULL)
        LocalFree(sid_text);
}

// What each right that counts lets an account do; NULL where it does not count for that object.
struct RightName {
    ACCESS_MASK right;
    const WCHAR *on_folder, *on_file;
};
static_assert(FILE_ADD_FILE == FILE_WRITE_DATA && FILE_ADD_SUBDIRECTORY == FILE_APPEND_DATA,
              "a folder's rights share their bits with a file's");
const RightName right_names[] = {
    {FILE_ADD_FILE, L"add files", L"write data"},
    {FILE_APPEND_DATA, NULL, L"append data"},
    {FILE_DELETE_CHILD, L"delete files in it", NULL},
    {DELETE, L"delete it", L"delete it"},
    {WRITE_DAC, L"change its access list", L"change its access list"},
    {WRITE_OWNER, L"take ownership", L"take ownership"},
    {GENERIC_WRITE, L"write (generic)", L"write (generic)"},
    {GENERIC_ALL, L"full control (generic)", L"full control (generic)"},
};

void add_rights(CheckReport *report, TrustObject object, ACCESS_MASK rights)
{
    const WCHAR *separator = L"";
    for (const RightName &r : right_names) {
        const WCHAR *name = object == trust_folder ? r.on_folder : r.on_file;
        if ((rights & r.right) != 0 && name != NULL) {
            add(report, L"%ls%ls", separator, name);
            separator = L", ";
        }
    }
}

void add_entry(CheckReport *report, const TrustFinding &f)
{
    add(report, L" (entry %u, %ls)", f.entry_index + 1u,
        (f.entry_flags & INHERITED_ACE) != 0 ? L"inherited" : L"not inherited");
}

void add_finding(CheckReport *report, const TrustFinding &f, const WCHAR *folder)
{
    if (f.object == trust_folder)
        add(report, L"folder \"%ls\": ", folder);
    else
        add(report, L"file \"%lsuninstall.exe\": ", folder);
    switch (f.reason) {
    case reason_owner:
        add(report, L"owned by ");
        add_account(report, const_cast<BYTE *>(f.sid));
        add(report, L", who may always change its access list");
        break;
    case reason_no_owner:
        add(report, L"no owner");
        break;
    case reason_no_dacl:
        add(report, L"no access list, so everyone may change it");
        break;
    case reason_entry:
        add_account(report, const_cast<BYTE *>(f.sid));
        add(report, L" may ");
        add_rights(report, f.object, f.rights);
        add_entry(report, f);
        break;
    case reason_foreign_entry:
        add(report, L"an entry whose account is not read may ");
        add_rights(report, f.object, f.rights);
        add_entry(report, f);
        break;
    }
    add(report, L"\n");
}

// Who runs this check: the account whose own changes the launcher would accept too.
void add_this_account(CheckReport *report)
{
    HANDLE token;
    struct {
        TOKEN_USER user;
        BYTE sid[SECURITY_MAX_SID_SIZE];
    } user;
    DWORD returned = 0;
    add(report, L"account: ");
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, &user, sizeof user, &returned))
            add_account(report, user.user.User.Sid);
        CloseHandle(token);
    }
    add(report, L", who runs this check; trusted besides: SYSTEM, Administrators, "
                L"TrustedInstaller\n");
}

// Whether the file's version block names it the launcher, as resources/uninstaller.rc does.
bool is_launcher(const WCHAR *path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return false;
    void *block = LocalAlloc(LMEM_FIXED, size);
    if (block == NULL)
        return false;
    bool launcher = false;
    if (GetFileVersionInfoW(path, /*ignored=*/0, size, block)) {
        WCHAR *product = NULL, *internal = NULL;
        UINT length = 0;
        launcher =
            VerQueryValueW(block, L"\\StringFileInfo\\040904b0\\ProductName",
                           reinterpret_cast<void **>(&product), &length) &&
            VerQueryValueW(block, L"\\StringFileInfo\\040904b0\\InternalName",
                           reinterpret_cast<void **>(&internal), &length) &&
            lstrcmpW(product, L"Orvex Uninstaller") == 0 && lstrcmpW(internal, L"uninstaller") == 0;
    }
    LocalFree(block);
    return launcher;
}

}  // namespace

DWORD check_folder(const WCHAR *folder, CheckReport *report)
{
    report->length = 0;
    report->text[0] = L'\0';
    add_this_account(report);

    // With its final separator, as the launcher enters its own: without one the system trims the
    // spaces and dots at the end of the last name and names another folder.
    static WCHAR given[own_path_size], full[own_path_size];
    const int length = lstrlenW(folder);
    DWORD error = ERROR_SUCCESS;
    if (length == 0 || length + 2 > (int)own_path_size) {
        error = length == 0 ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE;
    } else {
        lstrcpyW(given, folder);
        if (given[length - 1] != L'\\' && given[length - 1] != L'/')
            lstrcpyW(given + length, L"\\");
        const DWORD full_length = GetFullPathNameW(given, own_path_size, full, /*name=*/NULL);
        if (full_length == 0)
            error = GetLastError();
        else if (full_length >= own_path_size)
            error = ERROR_FILENAME_EXCED_RANGE;
        else if (!SetCurrentDirectoryW(full))
            error = GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        add(report, L"folder \"%ls\": cannot be entered\n", folder);
    } else {
        static TrustFindings findings;
        // The launcher's own checks, in the folder it would have entered.
        const HANDLE held = hold_uninstaller_explained(&findings);
        error = held == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        const int kept = findings.count < TrustFindings::capacity ? findings.count
                                                                  : TrustFindings::capacity;
        for (int i = 0; i < kept; ++i)
            add_finding(report, findings.items[i], full);
        if (findings.count > kept)
            add(report, L"and %d more\n", findings.count - kept);

        if (error == ERROR_SUCCESS) {
            add(report, L"folder and file: no account but the trusted ones may change them\n");
            // Started, such a copy would find itself as its own uninstaller and refuse.
            static WCHAR file[own_path_size + 16];
            _snwprintf(file, own_path_size + 16, L"%lsuninstall.exe", full);
            if (is_launcher(file)) {
                add(report, L"file \"%ls\": a copy of the launcher, which would refuse to "
                            L"start itself\n",
                    file);
                error = ERROR_CIRCULAR_DEPENDENCY;
            }
        }
    }

    if (error == ERROR_SUCCESS) {
        add(report, L"verdict: the launcher would start \"%lsuninstall.exe\"\n", full);
        return error;
    }
    char caption[failure_caption_size], text[failure_text_size];
    failure_caption(UNINSTALLER_COMMAND, caption, sizeof caption);
    failure_text(error, text, sizeof text);
    add(report, L"verdict: the launcher would start nothing and show \"");
    add_ansi(report, caption);
    add(report, L"\": ");
    add_ansi(report, text);
    add(report, L"\n");
    return error;
}
