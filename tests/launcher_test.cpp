// The built uninstaller.exe, end to end: copied into a folder of its own and started from
// another one, as a user's shortcut would.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

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
    const std::string command = "\"" + program + "\"" + arguments;
    std::wstring line = widen(command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Started started;
    if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, widen(folder).c_str(),
                        &startup, &process)) {
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

struct BoxSearch {
    DWORD process_id;
    HWND box;
};

BOOL CALLBACK find_box(HWND window, LPARAM param)
{
    BoxSearch *search = reinterpret_cast<BoxSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[256] = L"";
    GetWindowTextW(window, title, 256);
    if (owner == search->process_id && narrow(title) == launcher_caption) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

HWND error_box(DWORD process_id)
{
    BoxSearch search = {process_id, NULL};
    EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

// Reads the box's text in UTF-8 (the ANSI form would turn characters outside the code page
// into '?') and closes it.
std::string close_box(HWND box)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return narrow(text);
}

// Waits for the launcher's error box, checks that the launcher is still waiting for it, closes
// it and returns its text ("" when none came up; the launcher is then ended).
std::string close_error_box(const Started &launcher)
{
    HWND box = NULL;
    const bool shown = eventually([&] { return (box = error_box(launcher.id)) != NULL; });
    if (!shown) {
        TerminateProcess(launcher.process, 1);
        ADD_FAILURE() << "no window titled " << launcher_caption;
        return "";
    }
    EXPECT_EQ(WaitForSingleObject(launcher.process, 0), (DWORD)WAIT_TIMEOUT)
        << "the launcher ended while its box was up";
    return close_box(box);
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
    delete_when_free(root_uninstall);
    DeleteFileA(root_launcher.c_str());

    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(ended) << "uninstall.exe never ran";
    EXPECT_EQ(report()["folder"], root);
    if (launcher.process)
        CloseHandle(launcher.process);
}

// Installed in a folder of any name, started from a folder that holds an uninstall.exe of its
// own (the decoy): the launcher runs the one beside it, never the decoy, never another folder's.
struct FolderCase {
    const char *name;
    const char *app;    // the launcher's folder, under a fresh folder
    const char *decoy;  // a second decoy's folder, where an ANSI path would lead; "" for none
};

const FolderCase folder_cases[] = {
    {"Cyrillic", "Приложение", ""},
    {"CJK", "应用程序", ""},
    {"emoji", "Orvex 😀", ""},
    {"a per-user install under a Cyrillic user name",
     "Users\\Дмитрий\\AppData\\Local\\Programs\\Orvex", ""},
    // ANSI "best fit" turns these names into others that exist.
    {"best fit: a sibling", "Āpp", "App"},
    {"best fit: full-width dots", "sub\\．．", ""},  // "sub\.." is the fresh folder itself
    // The system trims spaces and dots from the end of a last name that no separator follows.
    {"a space at the end", "App ", "App"},
    {"two spaces at the end", "App  ", "App"},
    {"a dot and a space at the end", "App. ", "App"},
};

TEST_F(Launcher, FolderOfAnyNameAndNeverADecoy)
{
    for (const FolderCase &c : folder_cases) {
        SCOPED_TRACE(c.name);
        TempFolder base;
        const std::string app = base.file(c.app);
        const std::string start_folder = base.file("start");
        make_folders(app);
        make_folders(start_folder);
        copy_file(built_program("uninstaller.exe"), app + "\\uninstaller.exe");
        copy_file(built_program("sample-uninstall.exe"), app + "\\uninstall.exe");
        std::vector<std::string> decoys = {start_folder, base.path()};
        if (*c.decoy != '\0') {
            decoys.push_back(base.file(c.decoy));
            make_folders(decoys.back());
        }
        for (const std::string &decoy : decoys)
            copy_file(built_program("sample-uninstall.exe"), decoy + "\\uninstall.exe");
        const std::string report_path = base.file("report.txt");
        ScopedVariable report_variable("ORVEX_SAMPLE_REPORT", report_path);

        Started launcher = start(app + "\\uninstaller.exe", "", start_folder);
        ASSERT_NE(launcher.process, nullptr);
        const DWORD code = exit_code(launcher.process);
        if (code == STILL_ACTIVE) {
            ADD_FAILURE() << "the launcher did not end; its box says: "
                          << close_error_box(launcher);
        }
        CloseHandle(launcher.process);
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(eventually([&] { return read_report(report_path).count("ended") == 1; }));
        EXPECT_EQ(folders_reported(report_path), std::vector<std::string>{app});
        delete_when_free(app + "\\uninstall.exe");
    }
}

// The processes whose program file has this name, in any case.
std::vector<DWORD> processes_named(const std::string &name)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, widen(name).c_str()) == 0)
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

void end_processes_named(const std::string &name)
{
    for (DWORD id : processes_named(name)) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
            TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
}

// Named uninstall.exe, each copy would start the next, elevated, for ever: the launcher knows its
// own file by identity, under any name, in any case, or through a hard link, and starts nothing.
struct SelfCase {
    const char *name;
    const char *launcher;  // the launcher's name in its folder
    bool hard_link;        // uninstall.exe is a hard link to it
};

const SelfCase self_cases[] = {
    {"named uninstall.exe", "uninstall.exe", false},
    {"named UNINSTALL.EXE", "UNINSTALL.EXE", false},
    {"uninstall.exe a hard link to it", "uninstaller.exe", true},
};

TEST_F(Launcher, NeverStartsItself)
{
    for (const SelfCase &c : self_cases) {
        SCOPED_TRACE(c.name);
        TempFolder base;
        const std::string app = base.file("app");
        const std::string start_folder = base.file("start");
        make_folders(app);
        make_folders(start_folder);
        const std::string launcher = app + "\\" + c.launcher;
        copy_file(built_program("uninstaller.exe"), launcher);
        if (c.hard_link) {
            ASSERT_TRUE(CreateHardLinkW(widen(app + "\\uninstall.exe").c_str(),
                                        widen(launcher).c_str(), NULL))
                << "error " << GetLastError();
        }
        copy_file(built_program("sample-uninstall.exe"), start_folder + "\\uninstall.exe");
        const std::string report_path = base.file("report.txt");
        ScopedVariable report_variable("ORVEX_SAMPLE_REPORT", report_path);

        Started started = start(launcher, "", start_folder);
        ASSERT_NE(started.process, nullptr);
        HWND box = NULL;
        eventually([&] { return (box = error_box(started.id)) != NULL; }, 15000);
        const size_t running = processes_named(c.launcher).size();
        const std::string text = box != NULL ? close_box(box) : "";
        const DWORD code = exit_code(started.process);
        // Whatever a failure left running, so that it does not go on.
        end_processes_named(c.launcher);
        end_processes_named("uninstall.exe");
        CloseHandle(started.process);

        ASSERT_NE(box, nullptr) << "no error box";
        EXPECT_EQ(running, 1u) << "copies of the launcher running while its box was up";
        EXPECT_EQ(text, system_message_utf8(ERROR_CIRCULAR_DEPENDENCY) + " (0x423)");
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(read_file(report_path), "") << "something ran";
    }
}

// The box shows the system's own message in the user's display language, even one that the
// ANSI code page cannot write (tests/CMakeLists.txt runs this in Russian with code page 1252).
TEST_F(Launcher, MissingUninstallerShowsOneErrorBoxThenExitsZero)
{
    char expected_language[16] = "";
    if (GetEnvironmentVariableA("ORVEX_TEST_UI_LANGUAGE", expected_language, 16) != 0) {
        ASSERT_EQ(GetUserDefaultUILanguage(), (LANGID)strtoul(expected_language, NULL, 16))
            << "the display language was not set as asked";
    }
    ASSERT_TRUE(DeleteFileW(widen(app_.file("uninstall.exe")).c_str()));
    Started launcher = start(launcher_, " /S", elsewhere_.path());
    ASSERT_NE(launcher.process, nullptr);

    const std::string text = close_error_box(launcher);
    EXPECT_EQ(text, system_message_utf8(ERROR_FILE_NOT_FOUND) + " (0x2)");
    EXPECT_EQ(text.find('?'), std::string::npos) << text;
    EXPECT_EQ(exit_code(launcher.process), 0u);
    CloseHandle(launcher.process);
}

// Makes Wine prefer a DLL's native copy over its builtin one, for programs named
// uninstaller.exe only, while it lives. (WINEDLLOVERRIDES cannot do it from here: Wine does not
// pass a Windows program's change of it on to the programs it starts.)
class PreferNativeForLauncher {
public:
    PreferNativeForLauncher()
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, key_, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    }
    ~PreferNativeForLauncher()
    {
        RegCloseKey(key);
        RegDeleteKeyA(HKEY_CURRENT_USER, key_);
    }
    void add(const char *dll)
    {
        static const char value[] = "native,builtin";
        RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE *>(value), sizeof value);
    }

private:
    static constexpr const char *key_ = "Software\\Wine\\AppDefaults\\uninstaller.exe\\DllOverrides";
    HKEY key = NULL;
};

// The launcher runs elevated: a DLL placed in its folder under a system DLL's name must not be
// loaded into it, neither on the normal path nor on the error box's. Wine is told to prefer
// such native copies. (imm32 and uxtheme are loaded by name when the box comes up: without the
// search restriction, Wine takes both from the launcher's folder.)
TEST_F(Launcher, TakesNoDllFromItsFolder)
{
    const char *names[] = {"imm32", "uxtheme", "version", "cryptbase", "dwmapi", "winmm"};
    PreferNativeForLauncher prefer_planted;
    for (const char *name : names) {
        copy_file(built_program("planted.dll"), app_.file(std::string(name) + ".dll"));
        prefer_planted.add(name);
    }
    const std::string log = elsewhere_.file("planted.txt");
    ScopedVariable log_variable("ORVEX_PLANTED_LOG", log);

    Started normal = start(launcher_, "", elsewhere_.path());
    ASSERT_NE(normal.process, nullptr);
    EXPECT_EQ(exit_code(normal.process), 0u);
    CloseHandle(normal.process);
    EXPECT_TRUE(eventually([&] { return report().count("ended") == 1; }));

    ASSERT_TRUE(delete_when_free(app_.file("uninstall.exe")));
    Started failing = start(launcher_, "", elsewhere_.path());
    ASSERT_NE(failing.process, nullptr);
    close_error_box(failing);
    EXPECT_EQ(exit_code(failing.process), 0u);
    CloseHandle(failing.process);

    // The uninstaller is a program of its own and may load what it likes.
    std::string loaded_by_launcher;
    for (const std::string &line : read_lines(log)) {
        if (line.find("uninstaller.exe loaded") != std::string::npos)
            loaded_by_launcher += line + "\n";
    }
    EXPECT_EQ(loaded_by_launcher, "") << "everything planted that was loaded:\n" << read_file(log);
}

}  // namespace
