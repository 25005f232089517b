#include "support.h"

#include <gtest/gtest.h>
#include <stdio.h>

std::wstring widen(const std::string &utf8)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), NULL, 0);
    std::wstring wide(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], size);
    return wide;
}

std::string narrow(const std::wstring &wide)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), NULL, 0, NULL, NULL);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], size, NULL, NULL);
    return utf8;
}

// "\\?\" lifts the 260-character limit of the file functions.
static std::wstring long_form(const std::string &path)
{
    return path.compare(0, 2, "\\\\") == 0 ? widen(path) : L"\\\\?\\" + widen(path);
}

std::string build_folder()
{
    // Once, before any test fakes the module's path.
    static const std::string folder = [] {
        std::wstring path(32768, L'\0');
        path.resize(GetModuleFileNameW(NULL, &path[0], (DWORD)path.size()));
        return narrow(path.substr(0, path.find_last_of(L"\\/")));
    }();
    return folder;
}

std::string built_program(const char *name)
{
    return build_folder() + "\\" + name;
}

TempFolder::TempFolder(const std::string &suffix)
{
    wchar_t base[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, base);
    static unsigned counter = 0;
    for (;;) {
        const std::string name = narrow(base) + "orvex-test-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++counter) + suffix;
        if (CreateDirectoryW(widen(name).c_str(), NULL)) {
            path_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << name << ": error " << GetLastError();
            return;
        }
    }
}

static void remove_tree(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(folder + L"\\" + name);
            else
                DeleteFileW((folder + L"\\" + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

TempFolder::~TempFolder()
{
    if (!path_.empty())
        remove_tree(long_form(path_));
}

std::ostream &operator<<(std::ostream &out, const FileIdentity &identity)
{
    return out << "volume " << identity.volume << ", file "
               << (((unsigned long long)identity.index_high << 32) | identity.index_low);
}

FileIdentity identity_of(HANDLE object)
{
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(object, &information)) {
        identity.volume = information.dwVolumeSerialNumber;
        identity.index_high = information.nFileIndexHigh;
        identity.index_low = information.nFileIndexLow;
    }
    return identity;
}

FileIdentity identity_of(const std::string &path)
{
    HANDLE object = CreateFileW(long_form(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (object == INVALID_HANDLE_VALUE)
        return FileIdentity();
    const FileIdentity identity = identity_of(object);
    CloseHandle(object);
    return identity;
}

void make_folders(const std::string &path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryW(long_form(path.substr(0, at)).c_str(), NULL);
    if (!CreateDirectoryW(long_form(path).c_str(), NULL)) {
        ASSERT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS) << "cannot create " << path;
    }
}

ScopedVariable::ScopedVariable(const char *name, const std::string &value) : name_(name)
{
    SetEnvironmentVariableW(widen(name).c_str(), widen(value).c_str());
}

ScopedVariable::~ScopedVariable()
{
    SetEnvironmentVariableW(widen(name_).c_str(), NULL);
}

KeepCurrentFolder::KeepCurrentFolder() : saved_(32768, L'\0')
{
    saved_.resize(GetCurrentDirectoryW((DWORD)saved_.size(), &saved_[0]));
}

KeepCurrentFolder::~KeepCurrentFolder()
{
    SetCurrentDirectoryW(saved_.c_str());
}

std::string read_file(const std::string &path)
{
    std::string text;
    if (FILE *file = _wfopen(long_form(path).c_str(), L"rb")) {
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
            text.append(chunk, got);
        fclose(file);
    }
    return text;
}

void copy_file(const std::string &from, const std::string &to)
{
    ASSERT_TRUE(CopyFileW(long_form(from).c_str(), long_form(to).c_str(),
                          /*fail_if_exists=*/FALSE))
        << from << " -> " << to << ": error " << GetLastError();
}

std::vector<std::string> read_lines(const std::string &path)
{
    std::vector<std::string> lines;
    const std::string text = read_file(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::map<std::string, std::string> read_report(const std::string &path)
{
    std::map<std::string, std::string> report;
    for (const std::string &line : read_lines(path)) {
        const size_t colon = line.find(": ");
        if (colon == std::string::npos)
            report[line] = "";
        else
            report[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return report;
}

std::vector<std::string> folders_reported(const std::string &report_path)
{
    std::vector<std::string> folders;
    for (const std::string &line : read_lines(report_path)) {
        if (line.compare(0, 8, "folder: ") == 0)
            folders.push_back(line.substr(8));
    }
    return folders;
}

bool delete_when_free(const std::string &path)
{
    return eventually([&] { return DeleteFileW(long_form(path).c_str()) != FALSE; }, 5000);
}

bool eventually(const std::function<bool()> &done, DWORD timeout_ms)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeout_ms)
            return done();
        Sleep(20);
    }
    return true;
}

std::string system_message(DWORD code)
{
    char text[1024] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, code, 0, text, sizeof text, NULL);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        --length;
    return std::string(text, length);
}

std::string system_message_utf8(DWORD code)
{
    wchar_t text[1024] = L"";
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, code, 0, text, 1024, NULL);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n'))
        --length;
    return narrow(std::wstring(text, length));
}

std::string report_text(DWORD code)
{
    char hex[16];
    snprintf(hex, sizeof hex, "(0x%lx)", code);
    const std::string message = system_message(code);
    return message.empty() ? hex : message + " " + hex;
}
