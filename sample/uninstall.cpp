// A stand-in for the real uninstaller that the launcher starts: it reports the folder it runs
// in, the command line it was given and whether it has administrator rights.
//
// The report goes to the file named by ORVEX_SAMPLE_REPORT, or into a message box when that is
// not set. The tests steer it through more variables:
//   ORVEX_SAMPLE_HANDLE  an inherited handle (decimal) to write one line to
//   ORVEX_SAMPLE_HOLD    the name of an event to wait for before ending
//   ORVEX_SAMPLE_SLEEP   milliseconds to sleep before ending
// The last line of the report, "ended", is written just before the program ends.
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <windows.h>

static std::string variable(const char *name)
{
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

static bool is_elevated()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const BOOL ok =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated;
}

static void append(const std::string &report_path, const std::string &text)
{
    if (FILE *file = fopen(report_path.c_str(), "ab")) {
        fputs(text.c_str(), file);
        fclose(file);
    }
}

static std::string inherited_handle_line(const std::string &handle_text)
{
    HANDLE handle = (HANDLE)(UINT_PTR)strtoul(handle_text.c_str(), NULL, 10);
    const char line[] = "written through the inherited handle\n";
    DWORD written = 0;
    if (WriteFile(handle, line, sizeof line - 1, &written, NULL))
        return "handle: written\n";
    return "handle: unusable, error " + std::to_string(GetLastError()) + "\n";
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof folder, folder);

    std::string report = std::string("folder: ") + folder + "\n" +
                         "command line: " + GetCommandLineA() + "\n" +
                         "administrator: " + (is_elevated() ? "yes" : "no") + "\n";
    const std::string handle = variable("ORVEX_SAMPLE_HANDLE");
    if (!handle.empty())
        report += inherited_handle_line(handle);

    const std::string report_path = variable("ORVEX_SAMPLE_REPORT");
    if (report_path.empty()) {
        MessageBoxA(NULL, report.c_str(), "Sample uninstaller", MB_ICONINFORMATION | MB_OK);
        return 0;
    }
    append(report_path, report);

    const std::string hold = variable("ORVEX_SAMPLE_HOLD");
    if (!hold.empty()) {
        if (HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str())) {
            WaitForSingleObject(event, 60000);
            CloseHandle(event);
        }
    }
    const std::string sleep = variable("ORVEX_SAMPLE_SLEEP");
    if (!sleep.empty())
        Sleep(strtoul(sleep.c_str(), NULL, 10));

    append(report_path, "ended\n");
    return 0;
}
