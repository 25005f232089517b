// What the compilers' hardening options expect the program to supply, and the load config that
// hands it to the system's loader: the stack protection's guard, which the loader randomises,
// its failure, and, in a Control Flow Guard build, the check that the loader fills in.
#include <windows.h>

#include "load_config.h"

extern "C" {

// In .data: the loader writes the random value here before any of the program's code runs.
DWORD __stack_chk_guard = default_security_cookie;

// A smashed stack: end at once, with no handler of the program's running on its corrupt state.
__attribute__((noreturn)) void __stack_chk_fail(void)
{
    __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
    // Systems before Windows 8 treat int 0x29 as an ordinary fault, which may be handled.
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

#ifdef ORVEX_GUARD_CF
// Tables that lld fills for the image (their addresses carry the counts and flags).
extern const char __guard_fids_table[], __guard_fids_count[], __guard_flags[],
    __guard_iat_table[], __guard_iat_count[], __guard_longjmp_table[], __guard_longjmp_count[];

// Until the loader puts the system's check here; where the system does not enforce Control Flow
// Guard, every target passes.
static void __fastcall no_guard_check(void *) {}
// Read-only, as the loader expects: it lifts the protection for its own write only.
extern void(__fastcall *const __guard_check_icall_fptr)(void *);
__attribute__((section(".00cfg"))) void(__fastcall *const __guard_check_icall_fptr)(void *) =
    no_guard_check;
#endif

// lld finds it by its name and makes it the image's load config; GNU ld does not, and the GCC
// build sets the directory after the link (cmake/set-load-config.py).
extern const LoadConfig32 _load_config_used;
const LoadConfig32 _load_config_used = {
    {
        /*Size=*/sizeof(LoadConfig32),
        /*TimeDateStamp=*/0,
        /*MajorVersion=*/0,
        /*MinorVersion=*/0,
        /*GlobalFlagsClear=*/0,
        /*GlobalFlagsSet=*/0,
        /*CriticalSectionDefaultTimeout=*/0,
        /*DeCommitFreeBlockThreshold=*/0,
        /*DeCommitTotalFreeThreshold=*/0,
        /*LockPrefixTable=*/0,
        /*MaximumAllocationSize=*/0,
        /*VirtualMemoryThreshold=*/0,
        /*ProcessHeapFlags=*/0,
        /*ProcessAffinityMask=*/0,
        /*CSDVersion=*/0,
        /*Reserved1=*/0,
        /*EditList=*/0,
        /*SecurityCookie=*/reinterpret_cast<DWORD>(&__stack_chk_guard),
        // No SafeSEH table: the image is marked as registering no SEH handlers at all.
        /*SEHandlerTable=*/0,
        /*SEHandlerCount=*/0,
    },
#ifdef ORVEX_GUARD_CF
    /*GuardCFCheckFunctionPointer=*/reinterpret_cast<DWORD>(&__guard_check_icall_fptr),
    /*GuardCFDispatchFunctionPointer=*/0,
    /*GuardCFFunctionTable=*/reinterpret_cast<DWORD>(__guard_fids_table),
    /*GuardCFFunctionCount=*/reinterpret_cast<DWORD>(__guard_fids_count),
    /*GuardFlags=*/reinterpret_cast<DWORD>(__guard_flags),
    /*CodeIntegrity=*/{},
    /*GuardAddressTakenIatEntryTable=*/reinterpret_cast<DWORD>(__guard_iat_table),
    /*GuardAddressTakenIatEntryCount=*/reinterpret_cast<DWORD>(__guard_iat_count),
    /*GuardLongJumpTargetTable=*/reinterpret_cast<DWORD>(__guard_longjmp_table),
    /*GuardLongJumpTargetCount=*/reinterpret_cast<DWORD>(__guard_longjmp_count),
#else
    // No Control Flow Guard.
    0, 0, 0, 0, 0, {}, 0, 0, 0, 0,
#endif
};
}
