# Cross-compiles for 32-bit x86 Windows with Debian's Clang 19 and lld 19 (which take a load config
# of the program's own, and build Control Flow Guard's tables for MinGW targets: see
# cmake/hardening.cmake), on the headers, runtime and C++ library of Debian's mingw-w64 (its -posix
# GCC, whose folder Clang does not find alone).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(triple i686-w64-windows-gnu)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(sysroot /usr/i686-w64-mingw32)
execute_process(COMMAND i686-w64-mingw32-g++-posix -print-libgcc-file-name
    OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc_dir ${libgcc} DIRECTORY)

# GCC's libstdc++ keeps thread-local data the emulated way; code inlined from its headers must
# agree.
set(CMAKE_C_FLAGS_INIT "--sysroot=${sysroot} -femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "--sysroot=${sysroot} -femulated-tls -isystem ${gcc_dir}/include/c++ \
-isystem ${gcc_dir}/include/c++/i686-w64-mingw32 -isystem ${gcc_dir}/include/c++/backward")
# libstdc++ and the unwinder of the -posix GCC need winpthreads.
set(linker_flags "-fuse-ld=lld -L${gcc_dir} -lpthread")

set(CMAKE_EXE_LINKER_FLAGS_INIT "${linker_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${linker_flags}")

# Clang (14 and 19 alike) and GCC disagree on passing an empty class by value
# (std::forward_iterator_tag, std::true_type, ...) on 32-bit x86: GCC gives it a stack slot of its
# own, Clang none. A template function that both instantiate, such as std::string's
# _M_construct<const char *>, must therefore never be shared between Clang's code and GCC's:
# linked statically, one copy serves both and the other side's calls leave the stack 4 bytes off.
# Programs with C++ code of their own (the tests) take GCC's C++ runtime as these DLLs, which keep
# their own copies; the build puts them beside the programs. The launcher uses no C++ library and
# stays static.
set(toolchain_cxx_runtime_dlls ${gcc_dir}/libstdc++-6.dll ${gcc_dir}/libgcc_s_dw2-1.dll
    ${sysroot}/lib/libwinpthread-1.dll)
# Their link also needs GCC's crtbegin.o and crtend.o, which register the program's unwind tables
# with libgcc's unwinder, and not the empty ones of mingw-w64 that Clang finds by itself: without
# them every C++ exception ends in std::terminate. -B makes Clang look in GCC's folder first.
set(toolchain_cxx_link_options -B${gcc_dir})

# lld takes the header's time stamp as an option; not through the *_INIT flags, which the cache
# keeps from the first configure on.
include(${CMAKE_CURRENT_LIST_DIR}/build-epoch.cmake)
if(DEFINED build_epoch)
    set(toolchain_link_options -Wl,-Xlink=-timestamp:${build_epoch})
endif()

set(CMAKE_FIND_ROOT_PATH ${sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
