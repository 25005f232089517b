# Cross-compiles for 32-bit x86 Windows with Debian's Clang and lld, on the headers, runtime and
# C++ library of Debian's mingw-w64 (its -posix GCC, whose folder Clang 14 does not find alone).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(triple i686-w64-windows-gnu)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
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
