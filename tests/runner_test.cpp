// run_program starting real children: the sample uninstaller as a recording child.
#include <ctype.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "run_program.h"
#include "support.h"

namespace {

class RunProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof saved_folder_, saved_folder_);
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(saved_folder_); }

    std::string sample_command(const std::string &arguments) const
    {
        return "\"" + built_program("sample-uninstall.exe") + "\"" + arguments;
    }
    std::map<std::string, std::string> report() const { return read_report(report_path_); }

    TempFolder folder_;
    const std::string report_path_ = folder_.file("report.txt");
    ScopedVariable report_variable_{"ORVEX_SAMPLE_REPORT", report_path_};

private:
    char saved_folder_[MAX_PATH + 1] = "";
};

TEST_F(RunProgram, ChildGetsFolderCommandLineAndInheritableHandles)
{
    const std::string handle_file = folder_.file("inherited.txt");
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, /*inherit=*/TRUE};
    HANDLE handle = CreateFileA(handle_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ScopedVariable handle_variable("ORVEX_SAMPLE_HANDLE", std::to_string((UINT_PTR)handle));

    std::string command = sample_command(" first \"second argument\"");
    run_program(&command[0], /*wait=*/1, /*console=*/1, /*report=*/1);
    CloseHandle(handle);

    EXPECT_EQ(command, sample_command(" first \"second argument\"")) << "command line changed";
    auto got = report();
    EXPECT_EQ(got["folder"], folder_.path());
    EXPECT_EQ(got["command line"], command);
    EXPECT_EQ(got["handle"], "written");
    EXPECT_EQ(read_file(handle_file), "written through the inherited handle\n");
}

TEST_F(RunProgram, WaitReturnsOnlyOnceTheChildHasEnded)
{
    ScopedVariable sleep("ORVEX_SAMPLE_SLEEP", "500");
    std::string command = sample_command("");
    run_program(&command[0], /*wait=*/1, /*console=*/1, /*report=*/1);
    EXPECT_EQ(report().count("ended"), 1u);
}

TEST_F(RunProgram, NoWaitReturnsWhileTheChildRuns)
{
    HANDLE hold = CreateEventA(NULL, /*manual_reset=*/TRUE, /*initial_state=*/FALSE,
                               "orvex-runner-test-hold");
    ASSERT_NE(hold, nullptr);
    ScopedVariable hold_variable("ORVEX_SAMPLE_HOLD", "orvex-runner-test-hold");

    std::string command = sample_command("");
    run_program(&command[0], /*wait=*/0, /*console=*/1, /*report=*/1);
    const bool started = eventually([&] { return report().count("administrator") == 1; });
    const bool ended_early = report().count("ended") == 1;
    SetEvent(hold);
    EXPECT_TRUE(started);
    EXPECT_FALSE(ended_early) << "run_program waited for the child";
    EXPECT_TRUE(eventually([&] { return report().count("ended") == 1; }));
    CloseHandle(hold);
}

TEST_F(RunProgram, ConsoleReportIsCaptionThenText)
{
    std::string command = "\"" + folder_.file("missing.exe") + "\" /S";
    testing::internal::CaptureStdout();
    run_program(&command[0], /*wait=*/0, /*console=*/1, /*report=*/1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot run " + command + "\n" + system_message(ERROR_FILE_NOT_FOUND) + " (0x2)\n");
}

TEST_F(RunProgram, LongCommandLineGivesCutCaption)
{
    std::string command = "\"" + folder_.file(std::string(300, 'x') + ".exe") + "\"";
    testing::internal::CaptureStdout();
    run_program(&command[0], /*wait=*/0, /*console=*/1, /*report=*/1);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string caption = out.substr(0, out.find('\n'));
    EXPECT_EQ(caption, ("Cannot run " + command).substr(0, 127));
}

TEST_F(RunProgram, NoReportMeansNoOutput)
{
    std::string command = "\"" + folder_.file("missing.exe") + "\"";
    testing::internal::CaptureStdout();
    run_program(&command[0], /*wait=*/0, /*console=*/1, /*report=*/0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace

namespace {

std::string loaded_from(const char *dll)
{
    HMODULE module = GetModuleHandleA(dll);
    char path[MAX_PATH + 1] = "";
    if (module != NULL)
        GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

std::string system_folder_file(const char *dll)
{
    char folder[MAX_PATH + 1] = "";
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + dll;
}

// The elevation fallback's calls, for real: SHELL32 and OLE32 are loaded from the system folder
// on the first call, not at start.
TEST_F(RunProgram, ShellStartLoadsItsDllsOnFirstUse)
{
    ASSERT_EQ(loaded_from("shell32.dll"), "") << "loaded at start";
    ASSERT_EQ(loaded_from("ole32.dll"), "") << "loaded at start";

    EXPECT_TRUE(SUCCEEDED(CoInitialize(NULL)));
    const std::string sample = "\"" + built_program("sample-uninstall.exe") + "\"";
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "runas";
    info.lpFile = sample.c_str();
    info.lpParameters = "/from-the-shell";
    info.nShow = SW_SHOWNORMAL;
    EXPECT_TRUE(ShellExecuteExA(&info)) << "error " << GetLastError();

    EXPECT_TRUE(eventually([&] { return report().count("ended") == 1; }));
    EXPECT_NE(report()["command line"].find("/from-the-shell"), std::string::npos);
    EXPECT_EQ(lower(loaded_from("shell32.dll")), lower(system_folder_file("shell32.dll")));
    EXPECT_EQ(lower(loaded_from("ole32.dll")), lower(system_folder_file("ole32.dll")));
}

}  // namespace
