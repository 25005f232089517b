// A stand-in for the real uninstaller that the launcher starts: it reports the folder it runs
// in, the command line it was given and whether it has administrator rights. The report is in
// UTF-8, so that a folder of any name shows as it is.
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

static std::wstring wide_variable(const wchar_t *name)
{
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

static std::string variable(const wchar_t *name)
{
    const std::wstring value = wide_variable(name);
    return std::string(value.begin(), value.end());  // numbers and names of ASCII only
}

static std::string utf8(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    std::string result(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, NULL, NULL);
    return result.c_str();
}

static std::wstring wide(const std::string &text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, NULL, 0);
    std::wstring result(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], size);
    return result.c_str();
}

static std::string current_folder()
{
    std::wstring folder(32768, L'\0');
    const DWORD length = GetCurrentDirectoryW((DWORD)folder.size(), &folder[0]);
    folder.resize(length < folder.size() ? length : 0);
    return utf8(folder);
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

static void append(const std::wstring &report_path, const std::string &text)
{
    if (FILE *file = _wfopen(report_path.c_str(), L"ab")) {
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
    std::string report = "folder: " + current_folder() + "\n" +
                         "command line: " + utf8(GetCommandLineW()) + "\n" +
                         "administrator: " + (is_elevated() ? "yes" : "no") + "\n";
    const std::string handle = variable(L"ORVEX_SAMPLE_HANDLE");
    if (!handle.empty())
        report += inherited_handle_line(handle);

    const std::wstring report_path = wide_variable(L"ORVEX_SAMPLE_REPORT");
    if (report_path.empty()) {
        MessageBoxW(NULL, wide(report).c_str(), L"Sample uninstaller", MB_ICONINFORMATION | MB_OK);
        return 0;
    }
    append(report_path, report);

    const std::string hold = variable(L"ORVEX_SAMPLE_HOLD");
    if (!hold.empty()) {
        if (HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str())) {
            WaitForSingleObject(event, 60000);
            CloseHandle(event);
        }
    }
    const std::string sleep = variable(L"ORVEX_SAMPLE_SLEEP");
    if (!sleep.empty())
        Sleep(strtoul(sleep.c_str(), NULL, 10));

    append(report_path, "ended\n");
    return 0;
}
