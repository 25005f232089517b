// USER32, SHELL32 and OLE32 are needed only to report a failure and to start a program through
// the shell. Instead of being imported, and so loaded at every start, they are loaded from the
// system folder on their first call: the import slots that the compiled calls go through are
// defined here, each first pointing to a function that looks up the real one and puts it in the
// slot for good. The calling code reads as plain calls.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "system_dlls.h"

template <typename Function>
static Function resolve(const char *dll, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(system_function(dll, name)));
}

static int WINAPI first_MessageBoxA(HWND, LPCSTR, LPCSTR, UINT);
static HRESULT WINAPI first_CoInitialize(LPVOID);
static BOOL WINAPI first_ShellExecuteExA(SHELLEXECUTEINFOA *);

#define IMPORT_SLOT(name, argument_bytes) \
    decltype(&::name) slot_##name __asm__("__imp__" #name "@" #argument_bytes) = first_##name;

extern "C" {
IMPORT_SLOT(MessageBoxA, 16)
IMPORT_SLOT(CoInitialize, 4)
IMPORT_SLOT(ShellExecuteExA, 4)
}

static int WINAPI first_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    const auto real = resolve<decltype(&::MessageBoxA)>("user32.dll", "MessageBoxA");
    if (real == NULL)
        return 0;  // as MessageBoxA does when it cannot show the box
    slot_MessageBoxA = real;
    return real(owner, text, caption, style);
}

static HRESULT WINAPI first_CoInitialize(LPVOID reserved)
{
    const auto real = resolve<decltype(&::CoInitialize)>("ole32.dll", "CoInitialize");
    if (real == NULL)
        return E_FAIL;
    slot_CoInitialize = real;
    return real(reserved);
}

static BOOL WINAPI first_ShellExecuteExA(SHELLEXECUTEINFOA *info)
{
    const auto real = resolve<decltype(&::ShellExecuteExA)>("shell32.dll", "ShellExecuteExA");
    if (real == NULL)
        return FALSE;  // the last error says why the DLL or the function could not be had
    slot_ShellExecuteExA = real;
    return real(info);
}
