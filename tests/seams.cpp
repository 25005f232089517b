#include "seams.h"

#include "support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>

Seams seams;

const HANDLE fake_process_handle = (HANDLE)(UINT_PTR)0x7e000004;
const HANDLE fake_thread_handle = (HANDLE)(UINT_PTR)0x7e000008;

void reset_seams()
{
    seams = Seams();
}

std::string joined_calls()
{
    std::string all;
    for (const std::string &call : seams.calls)
        all += (all.empty() ? "" : " ") + call;
    return all;
}

namespace {

template <typename Function>
Function real(const char *dll, const char *name)
{
    HMODULE module = GetModuleHandleA(dll);
    if (module == NULL)
        module = LoadLibraryA(dll);
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

#define REAL(dll, name) real<decltype(&::name)>(dll, #name)

// FormatMessageA hands out this arena past its first byte, so that a write before the message
// shows.
const char guard = '#';
char message_arena[1 + 8192];

BOOL WINAPI fake_CreateProcessA(LPCSTR application_name, LPSTR command_line,
                                LPSECURITY_ATTRIBUTES process_attributes,
                                LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                                DWORD creation_flags, LPVOID environment, LPCSTR directory,
                                LPSTARTUPINFOA startup, LPPROCESS_INFORMATION process)
{
    if (seams.before_create)
        seams.before_create();
    if (!seams.fake_create)
        return REAL("kernel32.dll", CreateProcessA)(
            application_name, command_line, process_attributes, thread_attributes,
            inherit_handles, creation_flags, environment, directory, startup, process);

    seams.calls.push_back("CreateProcessA");
    seams.creates.push_back({application_name == NULL, command_line ? command_line : "",
                             command_line, process_attributes == NULL && thread_attributes == NULL,
                             inherit_handles, creation_flags, environment == NULL,
                             directory == NULL, *startup});
    if (seams.create_error != 0) {
        SetLastError(seams.create_error);
        return FALSE;
    }
    process->hProcess = fake_process_handle;
    process->hThread = fake_thread_handle;
    process->dwProcessId = 4242;
    process->dwThreadId = 4343;
    return TRUE;
}

const char *handle_name(HANDLE handle)
{
    return handle == fake_process_handle ? "process"
           : handle == fake_thread_handle ? "thread"
                                          : NULL;
}

// The runtime and GoogleTest close and wait on handles of their own: those pass through.
BOOL WINAPI fake_CloseHandle(HANDLE handle)
{
    if (const char *name = handle_name(handle)) {
        seams.calls.push_back(std::string("CloseHandle(") + name + ")");
        return TRUE;
    }
    return REAL("kernel32.dll", CloseHandle)(handle);
}

DWORD WINAPI fake_WaitForSingleObject(HANDLE handle, DWORD timeout)
{
    if (const char *name = handle_name(handle)) {
        seams.calls.push_back(std::string("WaitForSingleObject(") + name + ")");
        seams.wait_timeout = timeout;
        return WAIT_OBJECT_0;
    }
    return REAL("kernel32.dll", WaitForSingleObject)(handle, timeout);
}

HRESULT WINAPI fake_CoInitialize(LPVOID reserved)
{
    seams.calls.push_back("CoInitialize");
    if (seams.real_shell)
        return REAL("ole32.dll", CoInitialize)(reserved);
    return reserved == NULL ? S_OK : E_INVALIDARG;
}

BOOL WINAPI fake_ShellExecuteExA(SHELLEXECUTEINFOA *info)
{
    seams.calls.push_back("ShellExecuteExA");
    ShellExecuteCall call;
    call.info = *info;
    call.verb = info->lpVerb ? info->lpVerb : "";
    call.file = info->lpFile ? info->lpFile : "";
    call.parameters = info->lpParameters ? info->lpParameters : "";
    call.parameters_null = info->lpParameters == NULL;
    seams.shell_calls.push_back(call);
    if (seams.real_shell)
        return REAL("shell32.dll", ShellExecuteExA)(info);
    if (seams.shell_error != 0) {
        SetLastError(seams.shell_error);
        return FALSE;
    }
    return TRUE;
}

int WINAPI fake_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    seams.calls.push_back("MessageBoxA");
    seams.boxes.push_back({owner, text ? text : "(null)", caption ? caption : "(null)", style});
    return IDOK;
}

DWORD WINAPI fake_FormatMessageA(DWORD flags, LPCVOID source, DWORD code, DWORD language,
                                 LPSTR buffer, DWORD size, va_list *arguments)
{
    if (!seams.fake_message)
        return REAL("kernel32.dll", FormatMessageA)(flags, source, code, language, buffer, size,
                                                    arguments);
    if (seams.message.empty()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    message_arena[0] = guard;
    memcpy(message_arena + 1, seams.message.c_str(), seams.message.size() + 1);
    *reinterpret_cast<char **>(buffer) = message_arena + 1;
    return (DWORD)seams.message.size();
}

HLOCAL WINAPI fake_LocalFree(HLOCAL memory)
{
    if (memory == message_arena + 1) {
        seams.calls.push_back("LocalFree(message)");
        seams.message_guard_intact = message_arena[0] == guard;
        return NULL;
    }
    return REAL("kernel32.dll", LocalFree)(memory);
}

DWORD WINAPI fake_GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size)
{
    if (!seams.fake_module || module != NULL)
        return REAL("kernel32.dll", GetModuleFileNameW)(module, path, size);
    if (seams.module_error != 0) {
        SetLastError(seams.module_error);
        return 0;
    }
    const std::wstring wide = widen(seams.module_path);
    const DWORD length = (DWORD)wide.size();
    if (length < size) {
        memcpy(path, wide.c_str(), (length + 1) * sizeof(WCHAR));
        return length;
    }
    // A path that does not fit fills the buffer without a terminator, as XP does; Vista and
    // later also say so in the last error.
    memcpy(path, wide.data(), size * sizeof(WCHAR));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

BOOL WINAPI fake_SetCurrentDirectoryW(LPCWSTR folder)
{
    if (!seams.fake_folder)
        return REAL("kernel32.dll", SetCurrentDirectoryW)(folder);
    seams.calls.push_back("SetCurrentDirectoryW");
    seams.folders.push_back(narrow(folder));
    if (seams.folder_error != 0) {
        SetLastError(seams.folder_error);
        return FALSE;
    }
    if (!seams.enter_instead.empty())
        return REAL("kernel32.dll", SetCurrentDirectoryW)(widen(seams.enter_instead).c_str());
    return TRUE;
}

// Wine's SDDL parser knows no conditional entries: "(XA;flags;rights;;;sid;(condition))", an
// ACCESS_ALLOWED_CALLBACK_ACE. Each is handed to it as a plain allow entry, and remembered by
// its place in the DACL, to be made a callback entry again afterwards.
struct Conditional {
    size_t index;
    std::string condition;
};

std::string plain_entries(const std::string &sddl, std::vector<Conditional> *conditionals)
{
    const size_t dacl = sddl.find("D:");
    if (dacl == std::string::npos)
        return sddl;
    std::string plain = sddl.substr(0, dacl);
    size_t index = 0;
    for (size_t at = dacl; at < sddl.size();) {
        if (sddl[at] != '(') {
            plain += sddl[at++];
            continue;
        }
        const size_t end = sddl.find(')', at);  // a condition's own ')' comes right before it
        if (sddl.compare(at, 4, "(XA;") == 0) {
            const size_t condition = sddl.find(";(", at);
            const size_t close = sddl.find("))", condition);
            plain += "(A;" + sddl.substr(at + 4, condition - at - 4) + ")";
            conditionals->push_back({index, sddl.substr(condition + 1, close - condition)});
            at = close + 2;
        } else {
            plain += sddl.substr(at, end - at + 1);
            at = end + 1;
        }
        ++index;
    }
    return plain;
}

// The binary form of "(Exists NAME)", the only condition these tests need: the signature, a
// local attribute's name in UTF-16, the Exists operator.
std::string binary_condition(const std::string &condition)
{
    const std::string prefix = "(Exists ";
    if (condition.compare(0, prefix.size(), prefix) != 0 || condition.back() != ')') {
        ADD_FAILURE() << "condition not supported here: " << condition;
        return "";
    }
    const std::wstring name = widen(condition.substr(prefix.size(),
                                                     condition.size() - prefix.size() - 1));
    const DWORD name_bytes = (DWORD)(name.size() * sizeof(WCHAR));
    std::string bytes = "artx";
    bytes += '\xf8';  // a local attribute
    bytes.append(reinterpret_cast<const char *>(&name_bytes), sizeof name_bytes);
    bytes.append(reinterpret_cast<const char *>(name.data()), name_bytes);
    bytes += '\x87';  // Exists
    bytes.resize((bytes.size() + 3) / 4 * 4, '\0');
    return bytes;
}

// The descriptor with those entries made callback entries, their conditions after their SIDs;
// the new DACL goes at the end, and the descriptor points to it.
std::string with_conditions(const std::string &descriptor,
                            const std::vector<Conditional> &conditionals)
{
    std::string made = descriptor;
    SECURITY_DESCRIPTOR_RELATIVE header;
    memcpy(&header, made.data(), sizeof header);
    if (conditionals.empty() || header.Dacl == 0)
        return made;
    ACL acl;
    memcpy(&acl, made.data() + header.Dacl, sizeof acl);
    std::string entries;
    size_t at = header.Dacl + sizeof acl;
    for (size_t index = 0; index < acl.AceCount; ++index) {
        ACE_HEADER entry;
        memcpy(&entry, made.data() + at, sizeof entry);
        std::string bytes = made.substr(at, entry.AceSize);
        at += entry.AceSize;
        for (const Conditional &conditional : conditionals) {
            if (conditional.index != index)
                continue;
            bytes += binary_condition(conditional.condition);
            entry.AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
            entry.AceSize = (WORD)bytes.size();
            memcpy(&bytes[0], &entry, sizeof entry);
        }
        entries += bytes;
    }
    acl.AclSize = (WORD)(sizeof acl + entries.size());
    header.Dacl = (DWORD)made.size();
    memcpy(&made[0], &header, sizeof header);
    made.append(reinterpret_cast<const char *>(&acl), sizeof acl);
    return made + entries;
}

NTSTATUS NTAPI fake_NtQuerySecurityObject(HANDLE object, SECURITY_INFORMATION information,
                                          PSECURITY_DESCRIPTOR descriptor, ULONG size,
                                          ULONG *needed)
{
    seams.secured.push_back(identity_of(object));
    if (!seams.fake_security)
        return REAL("ntdll.dll", NtQuerySecurityObject)(object, information, descriptor, size,
                                                         needed);
    seams.calls.push_back("NtQuerySecurityObject");
    if (seams.security_status != 0)
        return seams.security_status;

    BY_HANDLE_FILE_INFORMATION file;
    if (!GetFileInformationByHandle(object, &file))
        return (NTSTATUS)0xC0000008;  // STATUS_INVALID_HANDLE
    const std::string sddl = with_user((file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                           ? seams.folder_security
                                           : seams.file_security,
                                       current_user_sid());
    std::vector<Conditional> conditionals;
    const std::string plain = plain_entries(sddl, &conditionals);
    PSECURITY_DESCRIPTOR made = NULL;
    ULONG length = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(plain.c_str(), SDDL_REVISION_1,
                                                              &made, &length)) {
        ADD_FAILURE() << "not a descriptor: " << sddl;
        return (NTSTATUS)0xC000000D;  // STATUS_INVALID_PARAMETER
    }
    // Wine's parser makes an empty DACL of this; Windows' gives the NULL DACL that it means.
    if (sddl.find("D:NO_ACCESS_CONTROL") != std::string::npos)
        static_cast<SECURITY_DESCRIPTOR_RELATIVE *>(made)->Dacl = 0;
    const std::string bytes =
        with_conditions(std::string(static_cast<const char *>(made), length), conditionals);
    LocalFree(made);
    *needed = (ULONG)bytes.size();
    const bool fits = bytes.size() <= size;
    if (fits)
        memcpy(descriptor, bytes.data(), bytes.size());
    return fits ? 0 : (NTSTATUS)0xC0000023;  // STATUS_BUFFER_TOO_SMALL
}

NTSTATUS NTAPI fake_NtQueryInformationToken(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                            void *information, ULONG size, ULONG *returned)
{
    if (seams.token_user.empty() || information_class != TokenUser)
        return REAL("ntdll.dll", NtQueryInformationToken)(token, information_class, information,
                                                           size, returned);
    seams.calls.push_back("NtQueryInformationToken(TokenUser)");
    PSID sid = NULL;
    if (!ConvertStringSidToSidA(seams.token_user.c_str(), &sid)) {
        ADD_FAILURE() << "not a SID: " << seams.token_user;
        return (NTSTATUS)0xC000000D;  // STATUS_INVALID_PARAMETER
    }
    const ULONG sid_size = GetLengthSid(sid);
    *returned = sizeof(TOKEN_USER) + sid_size;
    const bool fits = *returned <= size;
    if (fits) {
        // The SID follows the record that points to it, as the system lays it out.
        TOKEN_USER *user = static_cast<TOKEN_USER *>(information);
        user->User.Sid = user + 1;
        user->User.Attributes = 0;
        memcpy(user + 1, sid, sid_size);
    }
    LocalFree(sid);
    return fits ? 0 : (NTSTATUS)0xC0000023;  // STATUS_BUFFER_TOO_SMALL
}

}  // namespace

std::string with_user(std::string sddl, const std::string &user_sid)
{
    for (size_t at; (at = sddl.find("%USER%")) != std::string::npos;)
        sddl.replace(at, 6, user_sid);
    return sddl;
}

std::string current_user_sid()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } user;
    DWORD size = 0;
    std::string text;
    char *sid = NULL;
    if (GetTokenInformation(token, TokenUser, &user, sizeof user, &size) &&
        ConvertSidToStringSidA(user.user.User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

// The import slots through which the compiled code calls these functions.
#define SEAM(name, argument_bytes)                                                   \
    extern "C" {                                                                     \
    decltype(&::name) seam_##name __asm__("__imp__" #name "@" #argument_bytes) = \
        fake_##name;                                                                 \
    }

SEAM(CreateProcessA, 40)
SEAM(CloseHandle, 4)
SEAM(WaitForSingleObject, 8)
SEAM(CoInitialize, 4)
SEAM(ShellExecuteExA, 4)
SEAM(MessageBoxA, 16)
SEAM(FormatMessageA, 28)
SEAM(LocalFree, 4)
SEAM(GetModuleFileNameW, 12)
SEAM(SetCurrentDirectoryW, 4)
SEAM(NtQuerySecurityObject, 20)
SEAM(NtQueryInformationToken, 20)
