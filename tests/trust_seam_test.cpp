// Who may change the uninstaller and its folder, for security descriptors that Wine cannot give
// a real file (it makes each one up from the Unix owner and mode): the launcher's real run in a
// real folder, with the descriptors that NtQuerySecurityObject reads scripted.
#include <gtest/gtest.h>

#include "folder_check.h"
#include "launch.h"
#include "seams.h"
#include "support.h"

namespace {

const char caption[] = "Cannot run \".\\uninstall.exe\"";
const char trusted_installer[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char another_user[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// A Program Files folder and a file in it: Administrators own them, SYSTEM and Administrators
// have full control, Users read and run.
const char folder_as_installed[] = "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char file_as_installed[] = "O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

const std::string system32 = std::string("O:") + trusted_installer + "D:(A;;FA;;;" +
                             trusted_installer + ")(A;OICI;0x1301bf;;;SY)(A;OICI;0x1301bf;;;BA)"
                                                 "(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";

// Descriptors as Windows 10 and 11 leave them. Program Files, ProgramData, the system drive's
// root and WindowsApps are as shipped (their icacls /save form, with the owner). What an
// installer makes inside follows the inheritance rules: every inherited entry carries ID; an
// inheritable entry with generic rights or CREATOR OWNER becomes two on a subfolder, the one
// mapped (GA to FA, GXGR to 0x1200a9, CREATOR OWNER to the creator's owner, Administrators
// for an elevated installer) and an inherit-only copy unchanged; a file gets only the mapped one.
const std::string all_app_packages = "S-1-15-2-1";
const std::string all_restricted_app_packages = "S-1-15-2-2";
const std::string ti = trusted_installer;

const std::string program_files =
    "O:" + ti + "D:PAI(A;;FA;;;" + ti + ")(A;CIIO;GA;;;" + ti +
    ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
    "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)"
    "(A;;0x1200a9;;;" + all_app_packages + ")(A;OICIIO;GXGR;;;" + all_app_packages + ")"
    "(A;;0x1200a9;;;" + all_restricted_app_packages + ")(A;OICIIO;GXGR;;;" +
    all_restricted_app_packages + ")";
const std::string folder_under_program_files =
    "O:BAD:AI(A;ID;FA;;;" + ti + ")(A;CIIOID;GA;;;" + ti +
    ")(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)"
    "(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;CO)"
    "(A;ID;0x1200a9;;;" + all_app_packages + ")(A;OICIIOID;GXGR;;;" + all_app_packages + ")"
    "(A;ID;0x1200a9;;;" + all_restricted_app_packages + ")(A;OICIIOID;GXGR;;;" +
    all_restricted_app_packages + ")";
const std::string file_under_program_files =
    "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;ID;FA;;;BA)"
    "(A;ID;0x1200a9;;;" + all_app_packages + ")(A;ID;0x1200a9;;;" +
    all_restricted_app_packages + ")";

// ProgramData lets Users add files and subfolders (0x116: write data, append data, write
// extended attributes and attributes) to this folder and every subfolder.
const char program_data[] = "O:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)"
                            "(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)";
const char folder_under_program_data[] =
    "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;CO)"
    "(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)";
const char file_under_program_data[] =
    "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";

// The system drive's root: Authenticated Users may add subfolders to it, and get Modify on
// whatever is made inside.
const char drive_root[] = "O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
                          "(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
const char folder_under_drive_root[] =
    "O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"
    "(A;OICIIOID;SDGXGWGR;;;AU)";
const char file_under_drive_root[] =
    "O:BAD:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)";

// WindowsApps: Users read and run only through a conditional (callback) entry.
const std::string store_capability =
    "S-1-15-3-1024-3635283841-2530182609-996808640-1887759898-3848208603-3313616867-"
    "983405619-2501854204";
const std::string windows_apps =
    "O:" + ti + "D:PAI(A;;FA;;;" + ti + ")(A;OICIIO;GA;;;" + ti + ")(A;;0x1200a9;;;" +
    store_capability + ")(A;OICIIO;GXGR;;;" + store_capability +
    ")(A;;FA;;;SY)(A;OICIIO;GA;;;SY)(A;CI;0x1200a9;;;BA)(A;OICI;0x1200a9;;;LS)"
    "(A;OICI;0x1200a9;;;NS)(A;OICI;0x1200a9;;;RC)(XA;;0x1200a9;;;BU;(Exists WIN://SYSAPPID))";

struct Case {
    const char *name;
    std::string folder, file;  // the descriptors read for the folder and for uninstall.exe
    DWORD reported;            // the code in the box; 0: the uninstaller is started
};

const Case cases[] = {
    {"installed under Program Files", folder_as_installed, file_as_installed, 0},
    {"owned by TrustedInstaller, like System32", system32, system32, 0},
    {"a per-user install of this user", "O:%USER%D:(A;OICI;FA;;;%USER%)(A;OICI;FA;;;SY)",
     "O:%USER%D:(A;;FA;;;%USER%)", 0},
    {"an empty DACL: only the owner", "O:BAD:", "O:BAD:", 0},
    // Inherit-only entries are for what is created inside, not for the object itself.
    {"inherit-only entries for CREATOR OWNER and Users",
     "O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICIIO;GW;;;BU)", file_as_installed, 0},
    // On a folder that right adds a subfolder, which no search looks in.
    {"Users may add subfolders", "O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)", file_as_installed, 0},
    {"Program Files itself", program_files, file_under_program_files, 0},
    {"a folder made under Program Files by an elevated installer, and a file in it",
     folder_under_program_files, file_under_program_files, 0},
    // The folder is what ProgramData's entry makes changeable, not the file in it.
    {"a folder under ProgramData given its own access list", folder_as_installed,
     file_under_program_data, 0},
    // Its own entry for Authenticated Users adds only subfolders.
    {"the system drive's root, with a file of its own access list", drive_root,
     file_as_installed, 0},
    {"WindowsApps: Users read and run through a conditional entry", windows_apps,
     file_as_installed, 0},

    {"ProgramData itself", program_data, file_under_program_data, ERROR_ACCESS_DENIED},
    {"a folder made under ProgramData by an elevated installer", folder_under_program_data,
     file_under_program_data, ERROR_ACCESS_DENIED},
    {"a folder made under the system drive's root by an elevated installer",
     folder_under_drive_root, file_under_drive_root, ERROR_ACCESS_DENIED},
    {"uninstall.exe made in the system drive's root by an elevated installer", drive_root,
     file_under_drive_root, ERROR_ACCESS_DENIED},
    {"a conditional entry that lets Users add files",
     "O:BAD:(A;OICI;FA;;;BA)(XA;;0x2;;;BU;(Exists WIN://SYSAPPID))", file_as_installed,
     ERROR_ACCESS_DENIED},
    {"Users may add files to the folder", "O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)", file_as_installed,
     ERROR_ACCESS_DENIED},
    {"Users may delete what is in the folder", "O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)",
     file_as_installed, ERROR_ACCESS_DENIED},
    {"Everyone has full control of the folder", "O:BAD:(A;OICI;FA;;;WD)", file_as_installed,
     ERROR_ACCESS_DENIED},
    {"Users may write the file", folder_as_installed, "O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)",
     ERROR_ACCESS_DENIED},
    {"Users may append to the file", folder_as_installed, "O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)",
     ERROR_ACCESS_DENIED},
    {"Users may change the file's DACL", folder_as_installed, "O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)",
     ERROR_ACCESS_DENIED},
    {"Users may take the file's ownership", folder_as_installed,
     "O:BAD:(A;;FA;;;BA)(A;;WO;;;BU)", ERROR_ACCESS_DENIED},
    {"Users may delete the file", folder_as_installed, "O:BAD:(A;;FA;;;BA)(A;;SD;;;BU)",
     ERROR_ACCESS_DENIED},
    {"generic write for Users", folder_as_installed, "O:BAD:(A;;FA;;;BA)(A;;GW;;;BU)",
     ERROR_ACCESS_DENIED},
    {"generic all for Users", folder_as_installed, "O:BAD:(A;;FA;;;BA)(A;;GA;;;BU)",
     ERROR_ACCESS_DENIED},
    // An administrator removing a standard user's per-user install, with a typed password.
    {"another user owns the folder", std::string("O:") + another_user + "D:(A;OICI;FA;;;BA)",
     file_as_installed, ERROR_ACCESS_DENIED},
    {"another user owns the file", folder_as_installed,
     std::string("O:") + another_user + "D:(A;;FA;;;BA)", ERROR_ACCESS_DENIED},
    {"a NULL DACL on the folder", "O:BAD:NO_ACCESS_CONTROL", file_as_installed,
     ERROR_ACCESS_DENIED},
    {"a NULL DACL on the file", folder_as_installed, "O:BAD:NO_ACCESS_CONTROL",
     ERROR_ACCESS_DENIED},
    {"no owner", "D:(A;OICI;FA;;;BA)", file_as_installed, ERROR_ACCESS_DENIED},
    {"a deny entry does not make up for an allow entry",
     "O:BAD:(D;;FA;;;WD)(A;OICI;FA;;;BA)(A;;FA;;;WD)", file_as_installed, ERROR_ACCESS_DENIED},
};

class TrustSeams : public ::testing::Test {
protected:
    void SetUp() override
    {
        copy_file(built_program("sample-uninstall.exe"), app_.file("uninstall.exe"));
        copy_file(built_program("uninstaller.exe"), app_.file("uninstaller.exe"));
        script_launcher_in_app();
    }
    void TearDown() override { reset_seams(); }

    // Fresh seams: the launcher lies in folder (app_ unless given), and its start is recorded,
    // not carried out.
    void script_launcher_in_app() { script_launcher_in(app_.path()); }
    void script_launcher_in(const std::string &folder)
    {
        reset_seams();
        seams.fake_create = true;
        seams.fake_module = true;
        seams.module_path = folder + "\\uninstaller.exe";
    }

    // The launcher's run with these descriptors read for its folder and uninstall.exe, and,
    // when token_user is given, with that account as its token's user. A failed row does not
    // stop the next.
    void expect_run(const Case &c, const std::string &token_user)
    {
        script_launcher_in_app();
        seams.fake_security = true;
        seams.folder_security = c.folder;
        seams.file_security = c.file;
        seams.token_user = token_user;
        // Were the checks skipped, the shell would be asked next.
        seams.create_error = 740;

        launch_uninstaller();

        const std::string token = token_user.empty() ? "" : "NtQueryInformationToken(TokenUser) ";
        if (c.reported == 0) {
            EXPECT_EQ(joined_calls(), token + "NtQuerySecurityObject NtQuerySecurityObject "
                                              "CreateProcessA CoInitialize ShellExecuteExA");
            return;
        }
        EXPECT_TRUE(seams.creates.empty());
        EXPECT_TRUE(seams.shell_calls.empty());
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].caption, caption);
        EXPECT_EQ(seams.boxes[0].text, report_text(c.reported));
    }

    TempFolder app_;
    KeepCurrentFolder keep_;
};

TEST_F(TrustSeams, StartsOnlyWhatNoOtherAccountCanChange)
{
    ASSERT_FALSE(current_user_sid().empty());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expect_run(c, /*token_user=*/"");
    }
}

// Under Administrator Protection (Windows 11) elevation runs as a system-managed administrator
// account of its own (shown as ADMIN_...), another local SID than the signed-in user's: that
// user's per-user install now belongs to another account, and is refused.
TEST_F(TrustSeams, UnderAdministratorProtection)
{
    const std::string signed_in = current_user_sid();
    ASSERT_EQ(signed_in.compare(0, 9, "S-1-5-21-"), 0) << signed_in;
    const std::string system_managed = signed_in.substr(0, signed_in.rfind('-')) + "-1002";
    ASSERT_NE(system_managed, signed_in);
    // A per-user install under AppData, with what it inherits from the profile.
    const std::string per_user_folder =
        "O:%USER%D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;FA;;;%USER%)";
    const std::string per_user_file = "O:%USER%D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;FA;;;%USER%)";
    const Case protected_cases[] = {
        {"a per-user install of the signed-in user", per_user_folder, per_user_file,
         ERROR_ACCESS_DENIED},
        {"a folder made under Program Files by an elevated installer", folder_under_program_files,
         file_under_program_files, 0},
        // What an installer elevated under it puts in "its" AppData lands in that account's.
        {"a per-user install of the system-managed account",
         with_user(per_user_folder, system_managed), with_user(per_user_file, system_managed), 0},
    };
    for (const Case &c : protected_cases) {
        SCOPED_TRACE(c.name);
        expect_run(c, system_managed);
    }
}

TEST_F(TrustSeams, SecurityThatCannotBeReadStartsNothing)
{
    seams.fake_security = true;
    seams.security_status = (NTSTATUS)0xC00000BB;  // STATUS_NOT_SUPPORTED

    launch_uninstaller();

    EXPECT_EQ(joined_calls(), "NtQuerySecurityObject MessageBoxA");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, report_text(ERROR_NOT_SUPPORTED));
}

// The checker's explanation comes from the launcher's own rule: on every row of the table its
// verdict is the launcher's, and where it refuses it says which account may do what, on the
// folder and on the file alike (the launcher stops at the first reason).
struct Explained {
    const char *name;
    std::string folder, file;
    std::vector<std::string> reasons;  // "folder: ..." or "file: ...", each line's reason
};

const Explained explained[] = {
    {"a folder and a file made under the system drive's root", folder_under_drive_root,
     file_under_drive_root,
     {"folder: NT AUTHORITY\\Authenticated Users (S-1-5-11) may add files, delete it (entry 4, "
      "inherited)",
      "file: NT AUTHORITY\\Authenticated Users (S-1-5-11) may write data, append data, delete it "
      "(entry 4, inherited)"}},
    {"ProgramData itself", program_data, file_under_program_data,
     {"folder: BUILTIN\\Users (S-1-5-32-545) may add files (entry 5, not inherited)"}},
    {"a conditional entry that lets Users add files",
     "O:BAD:(A;OICI;FA;;;BA)(XA;;0x2;;;BU;(Exists WIN://SYSAPPID))", file_as_installed,
     {"folder: BUILTIN\\Users (S-1-5-32-545) may add files (entry 2, not inherited)"}},
    {"Everyone has full control of the folder", "O:BAD:(A;OICI;FA;;;WD)", file_as_installed,
     {"folder: Everyone (S-1-1-0) may add files, delete files in it, delete it, change its access "
      "list, take ownership (entry 1, not inherited)"}},
    {"another user owns the file", folder_as_installed,
     std::string("O:") + another_user + "D:(A;;FA;;;BA)",
     {std::string("file: owned by ") + another_user + ", who may always change its access list"}},
    {"a NULL DACL on the file, no owner of the folder", "D:(A;OICI;FA;;;BA)",
     "O:BAD:NO_ACCESS_CONTROL",
     {"folder: no owner", "file: no access list, so everyone may change it"}},
    {"installed under Program Files", folder_as_installed, file_as_installed, {}},
};

// Each finding line of the checker's report as "folder: <reason>" or "file: <reason>".
std::vector<std::string> reasons_in(const std::string &report)
{
    std::vector<std::string> reasons;
    size_t start = 0;
    for (size_t end; (end = report.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = report.substr(start, end - start);
        const size_t quote = line.find("\": ");
        const bool folder = line.rfind("folder \"", 0) == 0, file = line.rfind("file \"", 0) == 0;
        if ((folder || file) && quote != std::string::npos)
            reasons.push_back((folder ? "folder: " : "file: ") + line.substr(quote + 3));
    }
    return reasons;
}

TEST_F(TrustSeams, CheckerGivesTheLaunchersVerdictAndItsReasons)
{
    static WCHAR text[0x10000];
    CheckReport report = {text, sizeof text / sizeof text[0], 0};
    const auto check = [&](const std::string &folder, const std::string &file) {
        reset_seams();
        seams.fake_security = true;
        seams.folder_security = folder;
        seams.file_security = file;
        return check_folder(widen(app_.path()).c_str(), &report);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check(c.folder, c.file), c.reported) << narrow(text);
        EXPECT_EQ(seams.creates.size() + seams.shell_calls.size() + seams.boxes.size(), 0u);
    }
    for (const Explained &e : explained) {
        SCOPED_TRACE(e.name);
        const DWORD verdict = check(e.folder, e.file);
        const std::string printed = narrow(text);
        EXPECT_EQ(verdict, e.reasons.empty() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED) << printed;
        EXPECT_EQ(reasons_in(printed), e.reasons) << printed;
        const std::string box = e.reasons.empty()
                                    ? "verdict: the launcher would start \"" + app_.path() +
                                          "\\uninstall.exe\"\n"
                                    : "verdict: the launcher would start nothing and show \"" +
                                          std::string(caption) + "\": " +
                                          report_text(ERROR_ACCESS_DENIED) + "\n";
        EXPECT_EQ(printed.substr(printed.rfind("verdict: ")), box);
    }
}

// A folder whose last name ends in spaces or dots has a look-alike: the sibling whose name the
// system trims it to. What is checked must be the folder that was entered, where the start looks
// for the program, told apart by identity, not by name; with the look-alike there or not.
struct EnteredCase {
    const char *name;
    const char *folder;
    bool look_alike;  // "App" beside it, with an uninstall.exe of its own
};

const EnteredCase entered_cases[] = {
    {"'App ' beside 'App'", "App ", true},
    {"'App ' alone", "App ", false},
    {"'App. ' beside 'App'", "App. ", true},
    {"'App. ' alone", "App. ", false},
    {"'App  ' beside 'App'", "App  ", true},
};

TEST_F(TrustSeams, ChecksTheFolderThatWasEntered)
{
    for (const EnteredCase &c : entered_cases) {
        SCOPED_TRACE(c.name);
        TempFolder base;
        const std::string app = base.file(c.folder);
        make_folders(app);
        copy_file(built_program("uninstaller.exe"), app + "\\uninstaller.exe");
        copy_file(built_program("sample-uninstall.exe"), app + "\\uninstall.exe");
        if (c.look_alike) {
            make_folders(base.file("App"));
            copy_file(built_program("sample-uninstall.exe"), base.file("App\\uninstall.exe"));
        }
        script_launcher_in(app);

        launch_uninstaller();

        std::wstring current(32768, L'\0');
        current.resize(GetCurrentDirectoryW((DWORD)current.size(), &current[0]));
        const FileIdentity folder = identity_of(app);
        ASSERT_NE(folder, FileIdentity());
        EXPECT_EQ(joined_calls(), "CreateProcessA CloseHandle(process) CloseHandle(thread)");
        EXPECT_TRUE(seams.boxes.empty());
        EXPECT_EQ(narrow(current), app);
        EXPECT_EQ(identity_of(narrow(current)), folder);
        if (seams.secured.size() != 2u) {
            ADD_FAILURE() << seams.secured.size() << " objects checked, expected the folder and "
                                                     "the file";
            continue;
        }
        EXPECT_EQ(seams.secured[0], folder) << "checked another folder than the one entered";
        if (c.look_alike) {
            EXPECT_NE(seams.secured[0], identity_of(base.file("App")));
        }
        EXPECT_EQ(seams.secured[1], identity_of(app + "\\uninstall.exe"));
    }
}

TEST_F(TrustSeams, MissingUninstallerIsFileNotFound)
{
    ASSERT_TRUE(DeleteFileW(widen(app_.file("uninstall.exe")).c_str()));

    launch_uninstaller();

    EXPECT_EQ(joined_calls(), "MessageBoxA");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, report_text(ERROR_FILE_NOT_FOUND));
}

// Between the check and the start nobody may swap the file: the launcher holds it so that it
// can be read and run, but not written, deleted or renamed, and the real start still works.
TEST_F(TrustSeams, HoldsTheUninstallerUntilItHasStarted)
{
    const std::wstring uninstaller = widen(app_.file("uninstall.exe"));
    const std::wstring elsewhere = widen(app_.file("moved.exe"));
    const std::string report_path = app_.file("report.txt");
    ScopedVariable report_variable("ORVEX_SAMPLE_REPORT", report_path);
    struct Try {
        const char *name;
        std::function<BOOL()> attempt;
        DWORD error;  // 0: allowed
    };
    const Try tries[] = {
        {"open for writing", [&] {
             HANDLE h = CreateFileW(uninstaller.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                    OPEN_EXISTING, 0, NULL);
             if (h != INVALID_HANDLE_VALUE)
                 CloseHandle(h);
             return h != INVALID_HANDLE_VALUE;
         }, ERROR_SHARING_VIOLATION},
        {"rename", [&] { return MoveFileW(uninstaller.c_str(), elsewhere.c_str()); },
         ERROR_SHARING_VIOLATION},
        {"delete", [&] { return DeleteFileW(uninstaller.c_str()); }, ERROR_SHARING_VIOLATION},
        {"open to read and run", [&] {
             HANDLE h = CreateFileW(uninstaller.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0,
                                    NULL);
             if (h != INVALID_HANDLE_VALUE)
                 CloseHandle(h);
             return h != INVALID_HANDLE_VALUE;
         }, 0},
    };
    std::vector<std::string> outcomes;
    seams.fake_create = false;  // the system's own CreateProcessA starts it
    seams.before_create = [&] {
        for (const Try &t : tries) {
            SetLastError(0);
            const bool done = t.attempt() != FALSE;
            const DWORD error = done ? 0 : GetLastError();
            if (error != t.error)
                outcomes.push_back(std::string(t.name) + ": error " + std::to_string(error));
        }
    };

    launch_uninstaller();

    EXPECT_EQ(outcomes, std::vector<std::string>{}) << "expected for each: sharing violation "
                                                       "(32), or 0 to read and run";
    EXPECT_TRUE(seams.boxes.empty());
    EXPECT_TRUE(eventually([&] { return read_report(report_path).count("ended") == 1; }));
    EXPECT_EQ(folders_reported(report_path), std::vector<std::string>{app_.path()});
    // Let go once started.
    EXPECT_TRUE(delete_when_free(app_.file("uninstall.exe")));
}

}  // namespace
