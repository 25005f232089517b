// The built uninstaller.exe, end to end: copied into a folder of its own and started from
// another one, as a user's shortcut would.
#include <gtest/gtest.h>

#include "support.h"

namespace {

const char launcher_caption[] = "Cannot run \".\\uninstall.exe\"";

struct Started {
    HANDLE process = NULL;
    DWORD id = 0;
};

Started start(const std::string &program, const std::string &arguments,
              const std::string &folder)
{
    std::string command = "\"" + program + "\"" + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Started started;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, folder.c_str(), &startup,
                        &process)) {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
        return started;
    }
    CloseHandle(process.hThread);
    started.process = process.hProcess;
    started.id = process.dwProcessId;
    return started;
}

DWORD exit_code(HANDLE process)
{
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

class Launcher : public ::testing::Test {
protected:
    // The launcher lies in app_, beside the sample as uninstall.exe unless a test removes it,
    // and is started from elsewhere_.
    void SetUp() override
    {
        copy_file(built_program("uninstaller.exe"), launcher_);
        copy_file(built_program("sample-uninstall.exe"), app_.file("uninstall.exe"));
    }

    std::map<std::string, std::string> report() const { return read_report(report_path_); }

    TempFolder app_;
    TempFolder elsewhere_;
    const std::string launcher_ = app_.file("uninstaller.exe");
    const std::string report_path_ = elsewhere_.file("report.txt");
    ScopedVariable report_variable_{"ORVEX_SAMPLE_REPORT", report_path_};
};

TEST_F(Launcher, StartsUninstallerInItsOwnFolderAndDoesNotWait)
{
    HANDLE hold = CreateEventA(NULL, TRUE, FALSE, "orvex-launcher-test-hold");
    ScopedVariable hold_variable("ORVEX_SAMPLE_HOLD", "orvex-launcher-test-hold");

    Started launcher = start(launcher_, " /S --quiet \"an argument\"", elsewhere_.path());
    ASSERT_NE(launcher.process, nullptr);
    const DWORD code = exit_code(launcher.process);
    const bool started = eventually([&] { return report().count("administrator") == 1; });
    const bool ended_early = report().count("ended") == 1;
    SetEvent(hold);

    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(started) << "uninstall.exe never ran (was our uninstaller.exe the one started?)";
    EXPECT_FALSE(ended_early) << "the launcher waited for the uninstaller";
    auto got = report();
    EXPECT_EQ(got["folder"], app_.path());
    EXPECT_EQ(got["command line"], "\".\\uninstall.exe\"");
    EXPECT_TRUE(eventually([&] { return report().count("ended") == 1; }));
    CloseHandle(launcher.process);
    CloseHandle(hold);
}

// In a drive's root the folder is "C:\": "C:" alone would leave the launcher in the folder it
// was started from, which is on the same drive here.
TEST_F(Launcher, WorksFromTheRootOfADrive)
{
    char windows[MAX_PATH + 1] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string root = std::string(windows, 3);
    ASSERT_EQ(root.substr(0, 1), elsewhere_.path().substr(0, 1)) << "needs the same drive";
    const std::string root_launcher = root + "orvex-root-test.exe";
    const std::string root_uninstall = root + "uninstall.exe";
    // The root is the test prefix's own drive C; whatever an earlier run left there is ours.
    copy_file(built_program("uninstaller.exe"), root_launcher);
    copy_file(built_program("sample-uninstall.exe"), root_uninstall);

    Started launcher = start(root_launcher, "", elsewhere_.path());
    const DWORD code = launcher.process ? exit_code(launcher.process) : STILL_ACTIVE;
    if (code == STILL_ACTIVE && launcher.process)
        TerminateProcess(launcher.process, 1);  // most likely showing its error box
    const bool ended = eventually([&] { return report().count("ended") == 1; },
                                      code == 0 ? 30000 : 1000);
    DeleteFileA(root_launcher.c_str());
    DeleteFileA(root_uninstall.c_str());

    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(ended) << "uninstall.exe never ran";
    EXPECT_EQ(report()["folder"], root);
    if (launcher.process)
        CloseHandle(launcher.process);
}

struct BoxSearch {
    DWORD process_id;
    HWND box;
};

BOOL CALLBACK find_box(HWND window, LPARAM param)
{
    BoxSearch *search = reinterpret_cast<BoxSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    if (owner == search->process_id && std::string(title) == launcher_caption) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

TEST_F(Launcher, MissingUninstallerShowsOneErrorBoxThenExitsZero)
{
    ASSERT_TRUE(DeleteFileA(app_.file("uninstall.exe").c_str()));
    Started launcher = start(launcher_, " /S", elsewhere_.path());
    ASSERT_NE(launcher.process, nullptr);

    BoxSearch search = {launcher.id, NULL};
    const bool shown = eventually([&] {
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
        return search.box != NULL;
    });
    if (!shown) {
        TerminateProcess(launcher.process, 1);
        CloseHandle(launcher.process);
        FAIL() << "no window titled " << launcher_caption;
    }

    char text[512] = "";
    GetDlgItemTextA(search.box, 0xFFFF, text, sizeof text);
    EXPECT_EQ(std::string(text), system_message(ERROR_FILE_NOT_FOUND) + " (0x2)");
    EXPECT_EQ(WaitForSingleObject(launcher.process, 0), (DWORD)WAIT_TIMEOUT)
        << "the launcher ended while its box was up";

    PostMessageA(search.box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(exit_code(launcher.process), 0u);
    CloseHandle(launcher.process);
}

}  // namespace
