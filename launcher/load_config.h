#pragma once

// The 32-bit load config as far as Windows 10's Control Flow Guard fields (those that lld fills);
// mingw-w64's headers stop at the SafeSEH fields.
#include <stddef.h>
#include <windows.h>

struct LoadConfig32 {
    IMAGE_LOAD_CONFIG_DIRECTORY32 base;
    DWORD GuardCFCheckFunctionPointer;
    DWORD GuardCFDispatchFunctionPointer;
    DWORD GuardCFFunctionTable;
    DWORD GuardCFFunctionCount;
    DWORD GuardFlags;
    struct {
        WORD Flags, Catalog;
        DWORD CatalogOffset, Reserved;
    } CodeIntegrity;
    DWORD GuardAddressTakenIatEntryTable;
    DWORD GuardAddressTakenIatEntryCount;
    DWORD GuardLongJumpTargetTable;
    DWORD GuardLongJumpTargetCount;
};
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY32, SecurityCookie) == 0x3c, "SecurityCookie");
static_assert(offsetof(LoadConfig32, GuardCFCheckFunctionPointer) == 0x48, "Guard fields");
static_assert(offsetof(LoadConfig32, GuardFlags) == 0x58, "GuardFlags");
static_assert(sizeof(LoadConfig32) == 0x78, "Windows 10's 32-bit load config");

#ifndef IMAGE_GUARD_CF_INSTRUMENTED
#define IMAGE_GUARD_CF_INSTRUMENTED 0x00000100
#define IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT 0x00000400
#endif

// The x86 loader's default cookie: an image whose cookie holds it at load time gets a random
// one; any other value is left as it is.
const DWORD default_security_cookie = 0xBB40E64E;
