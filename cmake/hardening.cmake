# The hardening of every program that ships (README, "Hardening"), checked on the built file by
# tests/resources_test.cpp. One line per program: harden(TARGET); a static library of their code
# takes the same line for its compile options.
#
# ASLR, DEP, terminal-server awareness and Vista (6.0) as the oldest system; no SEH handlers
# (nothing in the image registers a frame); stack protection through a guard of the program's
# own (launcher/hardening.cpp), which the load config hands to the loader to randomise, instead
# of libssp's, which costs a start-up as long again and an ADVAPI32 import.
set(hardening_compile_options -fstack-protector-strong)
set(hardening_link_options -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--no-seh
    -Wl,--major-os-version=6 -Wl,--minor-os-version=0
    -Wl,--major-subsystem-version=6 -Wl,--minor-subsystem-version=0)
# Control Flow Guard: Clang 19 and lld build its tables for MinGW targets, but not whole: lld
# lists a function of a non-CFG object only when a relocation names it, and Debian's GCC-built
# mingw-w64 start-up names its callbacks (pre_c_init, pre_cpp_init in msvcrt's _initterm tables,
# the TLS callbacks, the atexit destructors) through section symbols. Where Windows enforces the
# guard, the system's checked calls to those would end the process; Wine does not enforce it.
# So it stays off for what ships, until the runtime is built for it.
option(ORVEX_GUARD_CF "Control Flow Guard (Clang only; its tables miss the start-up's callbacks)"
    OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    if(CMAKE_CXX_COMPILER_VERSION VERSION_LESS 19)
        message(FATAL_ERROR "Clang ${CMAKE_CXX_COMPILER_VERSION} found; the build needs Clang 19 "
            "(tools/install-deps). A build folder configured with an older Clang must be "
            "removed and configured anew: rm -rf ${CMAKE_BINARY_DIR}")
    endif()
endif()
if(ORVEX_GUARD_CF AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(hardening_guard_cf ON)
    list(APPEND hardening_compile_options -mguard=cf)
    list(APPEND hardening_link_options -mguard=cf)
else()
    set(hardening_guard_cf OFF)
endif()

# The guard, its failure and the load config. Built without stack protection: the failure
# must not check a cookie itself.
add_library(hardening STATIC ${PROJECT_SOURCE_DIR}/launcher/hardening.cpp)
target_include_directories(hardening PUBLIC ${PROJECT_SOURCE_DIR}/launcher)
target_compile_options(hardening PRIVATE ${warnings} ${small_code}
    $<$<BOOL:${hardening_guard_cf}>:-mguard=cf>)
target_compile_definitions(hardening PRIVATE $<$<BOOL:${hardening_guard_cf}>:ORVEX_GUARD_CF>)

function(harden target)
    target_compile_options(${target} PRIVATE ${hardening_compile_options})
    target_link_libraries(${target} PUBLIC hardening)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "EXECUTABLE")
        return()
    endif()
    target_link_options(${target} PRIVATE ${hardening_link_options})
    # GNU ld leaves the load config's directory empty: it is set from the link map afterwards.
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
        target_link_options(${target} PRIVATE -Wl,-Map=${map})
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/cmake/set-load-config.py
                $<TARGET_FILE:${target}> ${map}
            VERBATIM)
    endif()
endfunction()
