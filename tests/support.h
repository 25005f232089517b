#pragma once

// Test helpers. Paths and texts are UTF-8 here and go to the system's wide-character functions,
// so that folders of any name can be made, filled and read whatever the ANSI code page.
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>
#include <windows.h>

std::wstring widen(const std::string &utf8);
std::string narrow(const std::wstring &wide);

// The folder that holds this test program, where the build also puts the launcher and the
// sample uninstaller; without a trailing separator.
std::string build_folder();
std::string built_program(const char *name);

// A fresh folder under the temporary folder, its name ending in suffix; removed at the end with
// everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::string &suffix = "");
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// A file or folder by identity: which one a handle or a name leads to, whatever the names.
struct FileIdentity {
    DWORD volume = 0, index_high = 0, index_low = 0;
    bool operator==(const FileIdentity &other) const
    {
        return volume == other.volume && index_high == other.index_high &&
               index_low == other.index_low;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};
std::ostream &operator<<(std::ostream &out, const FileIdentity &identity);
FileIdentity identity_of(HANDLE object);
// By a "\\?\" name, which the system takes as it is: no spaces or dots trimmed. All zero when
// there is no such file or folder.
FileIdentity identity_of(const std::string &path);

// Makes a folder and any missing parents, at any length.
void make_folders(const std::string &path);

// Sets an environment variable of this process for a scope; children inherit it.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const std::string &value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    std::string name_;
};

// Puts the current directory back as it was at the end of a scope.
class KeepCurrentFolder {
public:
    KeepCurrentFolder();
    ~KeepCurrentFolder();
    KeepCurrentFolder(const KeepCurrentFolder &) = delete;
    KeepCurrentFolder &operator=(const KeepCurrentFolder &) = delete;

private:
    std::wstring saved_;
};

std::string read_file(const std::string &path);
std::vector<std::string> read_lines(const std::string &path);
void copy_file(const std::string &from, const std::string &to);

// The sample uninstaller's report, "key: value" lines; the line "ended" becomes the key
// "ended" with an empty value.
std::map<std::string, std::string> read_report(const std::string &path);

// The "folder" lines of a sample uninstaller's report, one for each sample that ran.
std::vector<std::string> folders_reported(const std::string &report_path);

// Deletes a file that a program which has just ended may still hold for a moment (the sample
// writes its last line just before it ends); false when it stays in use.
bool delete_when_free(const std::string &path);

// Polls until done() holds or the time runs out; returns done() at the end.
bool eventually(const std::function<bool()> &done, DWORD timeout_ms = 30000);

// The system's message for code without its line end, read independently of the launcher: in
// the ANSI code page, and in UTF-8 from the wide text.
std::string system_message(DWORD code);
std::string system_message_utf8(DWORD code);

// The text that a failure report gives for code: the system's message and "(0x<code>)", or the
// code alone when the system has no message for it.
std::string report_text(DWORD code);
