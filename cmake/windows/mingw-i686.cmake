# Cross toolchain for the 32-bit Windows build: mingw-w64 (i686, posix threads), run under Wine.
#
# The third-party libraries are built into a prefix by cmake/windows/build-deps.sh; point
# HL_WINDOWS_DEPS at it (cache variable or environment) when it is not build/windows-deps/
# of this checkout.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(HL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${HL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${HL_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${HL_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${HL_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# The deps prefix: explicit cache value, then the environment, then this checkout's default.
if(NOT HL_WINDOWS_DEPS)
  if(DEFINED ENV{HL_WINDOWS_DEPS})
    set(HL_WINDOWS_DEPS "$ENV{HL_WINDOWS_DEPS}")
  else()
    get_filename_component(HL_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps" ABSOLUTE)
  endif()
endif()
set(HL_WINDOWS_DEPS "${HL_WINDOWS_DEPS}" CACHE PATH "Prefix holding the cross-built third-party libraries")
# try_compile projects re-read this file; hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HL_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${HL_MINGW_TRIPLE} "${HL_WINDOWS_DEPS}")
# Headers, libraries and packages come from the cross sysroot and the deps prefix only, so
# nothing from the host's /usr/include or /usr/lib leaks in; programs (tools run at build
# time) come from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The deps prefix holds package configs that carry what a static link needs (LIBXML_STATIC,
# ws2_32, Threads for libxml2): let find_package(LibXml2) and the like take those before the
# Find modules, which know nothing of static Windows libraries.
set(CMAKE_FIND_PACKAGE_PREFER_CONFIG ON)

# Programs link libstdc++, libgcc and winpthread statically, so they need no mingw DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# pkg-config: only the .pc files of the deps prefix, with paths as written in them.
set(ENV{PKG_CONFIG_LIBDIR} "${HL_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Test programs and other built executables run under Wine.
find_program(HL_WINE wine)
if(HL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${HL_WINE}")
endif()

# A compiler cache in front of the cross compilers when there is one.
find_program(HL_CCACHE ccache)
if(HL_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER "${HL_CCACHE}" CACHE STRING "")
  set(CMAKE_CXX_COMPILER_LAUNCHER "${HL_CCACHE}" CACHE STRING "")
endif()
