#pragma once

// Fakes of the platform functions that the launcher imports, bound at link time in place of
// the real imports. Each fake does what the test scripted, or passes the call on to the real
// function when nothing was scripted for it.
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

#include "ntdll.h"
#include "support.h"

struct CreateProcessCall {
    bool application_name_null;
    std::string command_line;
    const char *command_line_pointer;
    bool attributes_null;
    BOOL inherit_handles;
    DWORD creation_flags;
    bool environment_null;
    bool directory_null;
    STARTUPINFOA startup;
};

struct ShellExecuteCall {
    SHELLEXECUTEINFOA info;  // its text pointers are not kept; see the strings
    std::string verb, file, parameters;
    bool parameters_null;
};

struct MessageBoxCall {
    HWND owner;
    std::string text, caption;
    UINT style;
};

struct Seams {
    // Scripted answers.
    bool fake_create = false;
    DWORD create_error = 0;  // 0: the child starts
    DWORD shell_error = 0;   // 0: the shell starts it
    bool fake_message = false;
    std::string message;  // what FormatMessageA hands out, allocated
    bool real_shell = false;  // CoInitialize and ShellExecuteExA pass on to the system's
    bool fake_module = false;
    std::string module_path;  // UTF-8; what GetModuleFileNameW writes, cut as the system does
    DWORD module_error = 0;   // non-zero: GetModuleFileNameW fails with it
    bool fake_folder = false;
    DWORD folder_error = 0;   // non-zero: SetCurrentDirectoryW fails with it
    std::string enter_instead;  // UTF-8; when set, the faked SetCurrentDirectoryW enters it
    bool fake_security = false;
    // What NtQuerySecurityObject reads, in the system's descriptor language (SDDL), for a folder
    // and for a file; "%USER%" stands for the user this process runs as.
    std::string folder_security, file_security;
    NTSTATUS security_status = 0;  // non-zero: NtQuerySecurityObject fails with it
    // A SID string; when set, NtQueryInformationToken(TokenUser) answers that account, as under
    // Administrator Protection, where elevation runs as a system-managed account of its own.
    std::string token_user;
    std::function<void()> before_create;  // run by CreateProcessA first, faked or not

    // What happened, in order: "CreateProcessA", "WaitForSingleObject(process)",
    // "CloseHandle(process)", "CloseHandle(thread)", "CoInitialize", "ShellExecuteExA",
    // "MessageBoxA", "LocalFree(message)", "SetCurrentDirectoryW", "NtQuerySecurityObject",
    // "NtQueryInformationToken(TokenUser)" (when token_user is set).
    std::vector<std::string> calls;
    std::vector<CreateProcessCall> creates;
    std::vector<ShellExecuteCall> shell_calls;
    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> folders;  // what SetCurrentDirectoryW got, in UTF-8
    std::vector<FileIdentity> secured;  // what NtQuerySecurityObject was asked about, faked or not
    DWORD wait_timeout = 0;
    bool message_guard_intact = true;
};

extern Seams seams;

// Clears every script and record.
void reset_seams();
std::string joined_calls();

// This process's user as a SID string, "S-1-5-21-...".
std::string current_user_sid();

// A scripted descriptor with "%USER%" standing for the account user_sid.
std::string with_user(std::string sddl, const std::string &user_sid);

// The handles that the fake CreateProcessA hands out.
extern const HANDLE fake_process_handle;
extern const HANDLE fake_thread_handle;
