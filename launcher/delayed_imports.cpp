// USER32, SHELL32 and OLE32 are needed only to report a failure and to start a program through
// the shell. Instead of being imported, and so loaded at every start, they are loaded from the
// system folder on their first call: the import slots that the compiled calls go through are
// defined here, each pointing to a function that looks up the real one once and calls it. The
// calling code reads as plain calls.
//
// The slots are read-only, as the system's own import slots are once loaded: calls through an
// import slot are not checked by Control Flow Guard, so the address that can change, the real
// function's, is called from here, where the check is made.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "system_dlls.h"

template <typename Function>
static Function resolve(const char *dll, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(system_function(dll, name)));
}

static int WINAPI call_MessageBoxA(HWND, LPCSTR, LPCSTR, UINT);
static HRESULT WINAPI call_CoInitialize(LPVOID);
static BOOL WINAPI call_ShellExecuteExA(SHELLEXECUTEINFOA *);

#define IMPORT_SLOT(name, argument_bytes)                                                     \
    extern const decltype(&::name) slot_##name __asm__("__imp__" #name "@" #argument_bytes); \
    const decltype(&::name) slot_##name = call_##name;                                        \
    static decltype(&::name) real_##name;

extern "C" {
IMPORT_SLOT(MessageBoxA, 16)
IMPORT_SLOT(CoInitialize, 4)
IMPORT_SLOT(ShellExecuteExA, 4)
}

static int WINAPI call_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    if (real_MessageBoxA == NULL)
        real_MessageBoxA = resolve<decltype(&::MessageBoxA)>("user32.dll", "MessageBoxA");
    if (real_MessageBoxA == NULL)
        return 0;  // as MessageBoxA does when it cannot show the box
    return real_MessageBoxA(owner, text, caption, style);
}

static HRESULT WINAPI call_CoInitialize(LPVOID reserved)
{
    if (real_CoInitialize == NULL)
        real_CoInitialize = resolve<decltype(&::CoInitialize)>("ole32.dll", "CoInitialize");
    if (real_CoInitialize == NULL)
        return E_FAIL;
    return real_CoInitialize(reserved);
}

static BOOL WINAPI call_ShellExecuteExA(SHELLEXECUTEINFOA *info)
{
    if (real_ShellExecuteExA == NULL)
        real_ShellExecuteExA =
            resolve<decltype(&::ShellExecuteExA)>("shell32.dll", "ShellExecuteExA");
    if (real_ShellExecuteExA == NULL)
        return FALSE;  // the last error says why the DLL or the function could not be had
    return real_ShellExecuteExA(info);
}
