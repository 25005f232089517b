#include "support.h"

#include <gtest/gtest.h>
#include <stdio.h>

std::string build_folder()
{
    char path[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/"));
}

std::string built_program(const char *name)
{
    return build_folder() + "\\" + name;
}

TempFolder::TempFolder()
{
    char base[MAX_PATH + 1] = "";
    GetTempPathA(sizeof base, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH + 64];
        snprintf(name, sizeof name, "%sorvex-test-%lu-%u", base, GetCurrentProcessId(),
                 ++counter);
        if (CreateDirectoryA(name, NULL)) {
            path_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << name << ": error " << GetLastError();
            return;
        }
    }
}

TempFolder::~TempFolder()
{
    if (path_.empty())
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA(file(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

ScopedVariable::ScopedVariable(const char *name, const std::string &value) : name_(name)
{
    SetEnvironmentVariableA(name, value.c_str());
}

ScopedVariable::~ScopedVariable()
{
    SetEnvironmentVariableA(name_.c_str(), NULL);
}

std::string read_file(const std::string &path)
{
    std::string text;
    if (FILE *file = fopen(path.c_str(), "rb")) {
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
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), /*fail_if_exists=*/FALSE))
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
