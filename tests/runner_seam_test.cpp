// run_program's paths that Wine never takes on its own: elevation required, a declined prompt.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>
#include <shellapi.h>

#include "run_program.h"
#include "seams.h"
#include "support.h"

namespace {

const DWORD elevation_required = 740;

class RunProgramSeams : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_seams();
        seams.fake_create = true;
    }
    void TearDown() override { reset_seams(); }

    void run(const char *command_line, int wait, int console, int report)
    {
        command_ = command_line;
        run_program(&command_[0], wait, console, report);
    }

    std::string command_;
};

struct PathCase {
    const char *name;
    DWORD create_error;
    DWORD shell_error;
    int wait, report;
    const char *calls;
    const char *box_text_ends;  // NULL: no box
};

const PathCase path_cases[] = {
    {"started", 0, 0, 0, 1, "CreateProcessA CloseHandle(process) CloseHandle(thread)", NULL},
    {"started and waited for", 0, 0, 1, 1,
     "CreateProcessA WaitForSingleObject(process) CloseHandle(process) CloseHandle(thread)",
     NULL},
    {"missing program", ERROR_FILE_NOT_FOUND, 0, 0, 1, "CreateProcessA MessageBoxA", " (0x2)"},
    {"missing program, not reported", ERROR_FILE_NOT_FOUND, 0, 0, 0, "CreateProcessA", NULL},
    {"access denied: no shell retry", ERROR_ACCESS_DENIED, 0, 0, 1, "CreateProcessA MessageBoxA",
     " (0x5)"},
    {"elevated through the shell", elevation_required, 0, 0, 1,
     "CreateProcessA CoInitialize ShellExecuteExA", NULL},
    {"elevated: wait has no effect", elevation_required, 0, 1, 1,
     "CreateProcessA CoInitialize ShellExecuteExA", NULL},
    {"elevation declined", elevation_required, ERROR_CANCELLED, 0, 1,
     "CreateProcessA CoInitialize ShellExecuteExA MessageBoxA", " (0x4c7)"},
    {"elevation declined, not reported", elevation_required, ERROR_CANCELLED, 0, 0,
     "CreateProcessA CoInitialize ShellExecuteExA", NULL},
};

TEST_F(RunProgramSeams, PathsThroughTheRunner)
{
    for (const PathCase &c : path_cases) {
        SCOPED_TRACE(c.name);
        reset_seams();
        seams.fake_create = true;
        seams.create_error = c.create_error;
        seams.shell_error = c.shell_error;

        run("\".\\uninstall.exe\"", c.wait, /*console=*/0, c.report);

        EXPECT_EQ(joined_calls(), c.calls);
        if (c.wait && c.create_error == 0) {
            EXPECT_EQ(seams.wait_timeout, INFINITE);
        }
        if (c.box_text_ends == NULL) {
            EXPECT_TRUE(seams.boxes.empty());
            continue;
        }
        ASSERT_EQ(seams.boxes.size(), 1u);
        const MessageBoxCall &box = seams.boxes[0];
        EXPECT_EQ(box.caption, "Cannot run \".\\uninstall.exe\"");
        const std::string ends = c.box_text_ends;
        ASSERT_GE(box.text.size(), ends.size()) << box.text;
        EXPECT_EQ(box.text.substr(box.text.size() - ends.size()), ends) << box.text;
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.style, (UINT)(MB_ICONERROR | MB_OK));
    }
}

// Smart App Control, App Control for Business and AppLocker refuse the start with codes of
// their own. Only "elevation required" may lead to the shell: a policy's refusal is reported
// as it is, once.
struct BlockedCase {
    const char *name;
    DWORD code;
};

const BlockedCase blocked_cases[] = {
    {"App Control's system integrity policy (ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION)", 4551},
    {"blocked by policy (ERROR_ACCESS_DISABLED_BY_POLICY)", 1260},
};

TEST_F(RunProgramSeams, ApplicationControlRefusalIsReportedWithoutTheShell)
{
    for (const BlockedCase &c : blocked_cases) {
        SCOPED_TRACE(c.name);
        reset_seams();
        seams.fake_create = true;
        seams.create_error = c.code;

        run("\".\\uninstall.exe\"", /*wait=*/0, /*console=*/0, /*report=*/1);

        EXPECT_EQ(joined_calls(), "CreateProcessA MessageBoxA");
        EXPECT_EQ(seams.boxes.size(), 1u);
        if (!seams.boxes.empty()) {
            EXPECT_EQ(seams.boxes[0].text, report_text(c.code));
        }
    }
}

TEST_F(RunProgramSeams, CreatesTheChildAsAskedForAndLeavesTheLineAlone)
{
    run("\".\\uninstall.exe\" /S", 0, 0, 1);

    ASSERT_EQ(seams.creates.size(), 1u);
    const CreateProcessCall &call = seams.creates[0];
    EXPECT_TRUE(call.application_name_null);
    EXPECT_EQ(call.command_line, "\".\\uninstall.exe\" /S");
    EXPECT_EQ(call.command_line_pointer, command_.c_str()) << "not the caller's buffer";
    EXPECT_TRUE(call.attributes_null);
    EXPECT_EQ(call.inherit_handles, TRUE);
    EXPECT_EQ(call.creation_flags, 0u);
    EXPECT_TRUE(call.environment_null);
    EXPECT_TRUE(call.directory_null);

    STARTUPINFOA expected;
    memset(&expected, 0, sizeof expected);
    expected.cb = 68;
    EXPECT_EQ(memcmp(&call.startup, &expected, sizeof expected), 0)
        << "start-up record: size 68, all else zero";
}

struct ShellCase {
    const char *name;
    const char *command_line;
    const char *file;
    const char *parameters;  // NULL: none
};

const ShellCase shell_cases[] = {
    {"the launcher's own line, whole", "\".\\uninstall.exe\"", "\".\\uninstall.exe\"", NULL},
    {"quoted program with arguments", "\"C:\\Program Files\\x.exe\" /S \"a b\"",
     "\"C:\\Program Files\\x.exe\"", "/S \"a b\""},
    {"unquoted program with arguments", "setup.exe /uninstall", "setup.exe", "/uninstall"},
    {"tab before the arguments", "setup.exe\t/S", "setup.exe", "/S"},
    {"trailing blanks are no arguments", "setup.exe  ", "setup.exe  ", NULL},
    {"unclosed quote", "\"C:\\a b\\x.exe /S", "\"C:\\a b\\x.exe /S", NULL},
    {"quote inside an unquoted program", "C:\\x\"y.exe /S", "C:\\x\"y.exe", "/S"},
};

TEST_F(RunProgramSeams, ElevatedStartFillsTheShellRecord)
{
    for (const ShellCase &c : shell_cases) {
        SCOPED_TRACE(c.name);
        reset_seams();
        seams.fake_create = true;
        seams.create_error = elevation_required;

        run(c.command_line, 0, 0, 1);

        ASSERT_EQ(seams.shell_calls.size(), 1u);
        const ShellExecuteCall &call = seams.shell_calls[0];
        EXPECT_EQ(call.info.cbSize, 60u);
        EXPECT_EQ(call.info.fMask, (ULONG)(SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI));
        EXPECT_EQ(call.info.fMask, 0x500u);
        EXPECT_EQ(call.info.hwnd, nullptr);
        EXPECT_EQ(call.verb, "runas");
        EXPECT_EQ(call.file, c.file);
        if (c.parameters == NULL) {
            EXPECT_TRUE(call.parameters_null) << call.parameters;
        } else {
            EXPECT_EQ(call.parameters, c.parameters);
        }
        EXPECT_EQ(call.info.lpDirectory, nullptr);
        EXPECT_EQ(call.info.nShow, SW_SHOWNORMAL);
        // Everything past nShow (instance application, id list, class, key, hotkey, icon,
        // process) stays zero: no process handle is asked for.
        const char *rest = reinterpret_cast<const char *>(&call.info.hInstApp);
        const char *end = reinterpret_cast<const char *>(&call.info) + sizeof call.info;
        EXPECT_EQ(std::string(rest, end), std::string(end - rest, '\0'));
        EXPECT_EQ(command_, c.command_line) << "command line changed";
    }
}

TEST_F(RunProgramSeams, ConsoleReportIsTwoLinesAndNoBox)
{
    seams.create_error = elevation_required;
    seams.shell_error = ERROR_CANCELLED;
    testing::internal::CaptureStdout();
    run("\".\\uninstall.exe\"", 0, /*console=*/1, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot run \".\\uninstall.exe\"\n" + system_message(ERROR_CANCELLED) +
                  " (0x4c7)\n");
    EXPECT_TRUE(seams.boxes.empty());
}

std::string cyrillic(int letters)
{
    std::string text;
    for (int i = 0; i < letters; ++i)
        text += i % 8 == 7 ? " " : "ж";  // two bytes in UTF-8, the ANSI code page here
    return text;
}

// Messages in UTF-8 take two or three bytes a letter, and Windows' own run to several hundred
// letters: each reaches the box whole, with its code, and so does the console.
TEST_F(RunProgramSeams, LongMessagesReachTheReportWhole)
{
    for (int letters : {60, 120, 240, 500}) {
        SCOPED_TRACE(std::to_string(letters) + " letters");
        const std::string message = cyrillic(letters) + ".";
        for (int console : {0, 1}) {
            reset_seams();
            seams.fake_create = true;
            seams.create_error = ERROR_ACCESS_DENIED;
            seams.fake_message = true;
            seams.message = message + "\r\n";
            if (console)
                testing::internal::CaptureStdout();

            run("\".\\uninstall.exe\"", 0, console, 1);

            const std::string expected = message + " (0x5)";
            if (console) {
                EXPECT_EQ(testing::internal::GetCapturedStdout(),
                          "Cannot run \".\\uninstall.exe\"\n" + expected + "\n");
            } else {
                ASSERT_EQ(seams.boxes.size(), 1u);
                EXPECT_EQ(seams.boxes[0].text, expected);
            }
        }
    }
}

// Without a message the report still says which error it was.
TEST_F(RunProgramSeams, CodeWithoutAMessageShowsTheCode)
{
    const DWORD blocked_by_policy = 1260;  // ERROR_ACCESS_DISABLED_BY_POLICY
    ASSERT_EQ(system_message(blocked_by_policy), "") << "this system has a message for 1260";
    seams.create_error = blocked_by_policy;
    run("\".\\uninstall.exe\"", 0, 0, 1);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "(0x4ec)");

    reset_seams();
    seams.fake_create = true;
    seams.create_error = elevation_required;
    seams.shell_error = ERROR_CANCELLED;
    seams.fake_message = true;  // and no message at all
    testing::internal::CaptureStdout();
    run("\".\\uninstall.exe\"", 0, /*console=*/1, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot run \".\\uninstall.exe\"\n(0x4c7)\n");
}

TEST_F(RunProgramSeams, SimpleFormReportsInABox)
{
    seams.create_error = ERROR_FILE_NOT_FOUND;
    command_ = "missing.exe";
    run_program_simple(&command_[0], /*wait=*/1);
    EXPECT_EQ(joined_calls(), "CreateProcessA MessageBoxA");
}

}  // namespace
