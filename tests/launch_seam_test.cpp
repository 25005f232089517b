// The launcher's whole run with executable paths and folder answers that a test cannot give the
// real program: where it goes, and that it starts nothing when it cannot go there.
#include <gtest/gtest.h>

#include "launch.h"
#include "seams.h"
#include "support.h"

namespace {

const std::string deep = "C:\\" + std::string(200, 'd');
const char caption[] = "Cannot run \".\\uninstall.exe\"";

struct Case {
    const char *name;
    std::string module_path;  // empty: GetModuleFileNameW fails with ERROR_NOT_ENOUGH_MEMORY
    DWORD folder_error;       // SetCurrentDirectoryW's answer
    std::string folder;       // what SetCurrentDirectoryW is given; empty: not called
    DWORD reported;           // the code in the box; 0: the uninstaller is started, no box
};

const Case cases[] = {
    {"usual", "C:\\Program Files\\Orvex\\uninstaller.exe", 0, "C:\\Program Files\\Orvex\\", 0},
    // Without the final separator the system would trim these and enter the sibling "...\App".
    {"a space at the end of the folder's name", "C:\\Apps\\App \\uninstaller.exe", 0,
     "C:\\Apps\\App \\", 0},
    {"a dot and a space at the end", "C:\\Apps\\App. \\uninstaller.exe", 0, "C:\\Apps\\App. \\",
     0},
    {"forward slashes", "C:/Program Files/Orvex/uninstaller.exe", 0, "C:/Program Files/Orvex/", 0},
    {"last separator wins when mixed", "C:\\a/b\\c/uninstaller.exe", 0, "C:\\a/b\\c/", 0},
    {"outside the ANSI code page", "C:\\Users\\Дмитрий\\应用程序 😀\\uninstaller.exe", 0,
     "C:\\Users\\Дмитрий\\应用程序 😀\\", 0},
    // U+30BD ends in the byte 0x5C in code page 932: no separator in wide characters.
    {"katakana so", "C:\\ソフト\\uninstaller.exe", 0, "C:\\ソフト\\", 0},
    {"root of a drive", "C:\\x.exe", 0, "C:\\", 0},
    {"root of a drive, forward slash", "C:/x.exe", 0, "C:/", 0},
    {"network share", "\\\\server\\share\\x.exe", 0, "\\\\server\\share\\", 0},
    {"long-path prefix, root", "\\\\?\\C:\\x.exe", 0, "\\\\?\\C:\\", 0},
    {"long-path prefix, share", "\\\\?\\UNC\\server\\share\\x.exe", 0,
     "\\\\?\\UNC\\server\\share\\", 0},
    {"longer than MAX_PATH", deep + "\\" + std::string(100, 'e') + "\\uninstaller.exe", 0,
     deep + "\\" + std::string(100, 'e') + "\\", 0},
    {"path unknown", "", 0, "", ERROR_NOT_ENOUGH_MEMORY},
    {"cut by the system", "C:\\" + std::string(32800, 'x') + "\\uninstaller.exe", 0, "",
     ERROR_FILENAME_EXCED_RANGE},
    // Relative to some folder that we did not choose: the one we were started from, or its drive.
    {"no separator", "uninstaller.exe", 0, "", ERROR_BAD_PATHNAME},
    {"root of the current drive", "\\x.exe", 0, "", ERROR_BAD_PATHNAME},
    {"drive without its root", "C:x.exe", 0, "", ERROR_BAD_PATHNAME},
    {"a share as Wine gives it", "UNC\\srv\\share\\x.exe", 0, "", ERROR_BAD_PATHNAME},
    {"a Unix path as Wine gives it", "unix\\tmp\\x.exe", 0, "", ERROR_BAD_PATHNAME},
    {"a server without a share", "\\\\server\\x.exe", 0, "", ERROR_BAD_PATHNAME},
    {"a device path", "\\\\.\\C:\\x.exe", 0, "", ERROR_BAD_PATHNAME},
    {"folder refused as too long", deep + "\\uninstaller.exe", ERROR_FILENAME_EXCED_RANGE,
     deep + "\\", ERROR_FILENAME_EXCED_RANGE},
    {"folder gone", "C:\\Gone\\uninstaller.exe", ERROR_PATH_NOT_FOUND, "C:\\Gone\\",
     ERROR_PATH_NOT_FOUND},
};

// The folder is faked; what is entered instead is a real one, with the uninstaller and the
// launcher's own file under both names that the rows give it.
TEST(LaunchSeams, EntersItsFolderOrStartsNothing)
{
    TempFolder app;
    copy_file(built_program("sample-uninstall.exe"), app.file("uninstall.exe"));
    copy_file(built_program("uninstaller.exe"), app.file("uninstaller.exe"));
    copy_file(built_program("uninstaller.exe"), app.file("x.exe"));
    KeepCurrentFolder keep;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reset_seams();
        seams.fake_create = true;
        seams.fake_module = true;
        seams.fake_folder = true;
        seams.enter_instead = app.path();
        seams.module_path = c.module_path;
        seams.module_error = c.module_path.empty() ? ERROR_NOT_ENOUGH_MEMORY : 0;
        seams.folder_error = c.folder_error;

        launch_uninstaller();

        if (c.folder.empty()) {
            EXPECT_TRUE(seams.folders.empty());
        } else {
            ASSERT_EQ(seams.folders.size(), 1u);
            EXPECT_EQ(seams.folders[0], c.folder);
        }

        if (c.reported == 0) {
            EXPECT_EQ(joined_calls(),
                      "SetCurrentDirectoryW CreateProcessA CloseHandle(process) "
                      "CloseHandle(thread)");
            ASSERT_EQ(seams.creates.size(), 1u);
            EXPECT_EQ(seams.creates[0].command_line, "\".\\uninstall.exe\"");
            continue;
        }
        // Neither a direct start nor one through the shell: one box with the failed step's error.
        EXPECT_TRUE(seams.creates.empty());
        EXPECT_TRUE(seams.shell_calls.empty());
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].caption, caption);
        EXPECT_EQ(seams.boxes[0].text, report_text(c.reported));
        EXPECT_EQ(seams.boxes[0].style, (UINT)(MB_ICONERROR | MB_OK));
    }
    reset_seams();
}

// The elevated start for real, in a folder named outside the ANSI code page: the system is made
// to answer "elevation required", and the shell starts ".\uninstall.exe" from that folder while
// the launcher holds it.
TEST(LaunchSeams, ElevatedStartInAFolderOfAnyName)
{
    TempFolder app(" Пример 示例");
    copy_file(built_program("sample-uninstall.exe"), app.file("uninstall.exe"));
    copy_file(built_program("uninstaller.exe"), app.file("uninstaller.exe"));
    TempFolder elsewhere;
    const std::string report_path = elsewhere.file("report.txt");
    ScopedVariable report_variable("ORVEX_SAMPLE_REPORT", report_path);
    KeepCurrentFolder keep;
    ASSERT_TRUE(SetCurrentDirectoryW(widen(elsewhere.path()).c_str()));
    copy_file(built_program("sample-uninstall.exe"), elsewhere.file("uninstall.exe"));  // decoy

    reset_seams();
    seams.fake_create = true;
    seams.create_error = 740;  // ERROR_ELEVATION_REQUIRED
    seams.real_shell = true;
    seams.fake_module = true;
    seams.module_path = app.file("uninstaller.exe");

    launch_uninstaller();
    const std::string calls = joined_calls();
    reset_seams();

    EXPECT_EQ(calls, "CreateProcessA CoInitialize ShellExecuteExA");
    EXPECT_TRUE(eventually([&] { return read_report(report_path).count("ended") == 1; }));
    EXPECT_EQ(folders_reported(report_path), std::vector<std::string>{app.path()});
}

}  // namespace
