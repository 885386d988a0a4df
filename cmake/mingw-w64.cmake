# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads), tests run under Wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#         [-DVELT_THIRD_PARTY=<prefix of lhasa, zlib, libzip built for Windows>]
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELT_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELT_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VELT_MINGW}-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELT_THIRD_PARTY)

# Only the libraries built for Windows and the MinGW tree are searched for headers and libraries;
# programs come from the host.
set(CMAKE_FIND_ROOT_PATH ${VELT_THIRD_PARTY} /usr/${VELT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config sees only the libraries built for Windows, never the host's.
if(VELT_THIRD_PARTY)
    set(ENV{PKG_CONFIG_LIBDIR} "${VELT_THIRD_PARTY}/lib/pkgconfig")
else()
    set(ENV{PKG_CONFIG_LIBDIR} "/usr/${VELT_MINGW}/lib/pkgconfig")
endif()
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# No DLL beside the executables: the C++ runtime, libgcc and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs what was built, in a prefix of its own inside the build tree, without a display and
# without offering to install Mono or Gecko.
find_program(VELT_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VELT_WINE)
    set(VELT_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${VELT_WINEPREFIX} WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml= ${VELT_WINE})
endif()
