# Third-party libraries of the Windows build: static libraries in the prefix that
# cmake/windows/build-deps.sh fills (HL_WINDOWS_DEPS); the toolchain makes the usual find calls
# look there only, so the targets have the names the Linux build uses.
if(NOT EXISTS "${HL_WINDOWS_DEPS}/lib/libxml2.a")
  message(FATAL_ERROR "Windows dependencies missing in ${HL_WINDOWS_DEPS}: run cmake/windows/build-deps.sh "
                      "(./dev build windows does it)")
endif()

# GCC 12 for mingw warns falsely inside libstdc++ (std::optional<std::string> "may be used
# uninitialized", memcpy "overlaps") at -O2 where the Linux build does not; the Linux build keeps them.
add_compile_options(-Wno-maybe-uninitialized -Wno-restrict)
# TCHAR stays narrow, as in the stand-in; Windows 7 is the oldest system the code calls into.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
# Programs link statically (the toolchain's linker flags): no MinGW runtime DLLs beside them.

find_package(nlohmann_json 3 REQUIRED)
find_package(LibXml2 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(APR REQUIRED IMPORTED_TARGET apr-1)

# ODBC is the system's driver manager and installer library.
add_library(PkgConfig::ODBC INTERFACE IMPORTED)
set_target_properties(PkgConfig::ODBC PROPERTIES INTERFACE_LINK_LIBRARIES "odbc32;odbccp32")
