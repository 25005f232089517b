// run_program starting real children: the sample uninstaller as a recording child.
#include <gtest/gtest.h>

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
