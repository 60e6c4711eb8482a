# Libraries that scripts/setup installs or builds for MinGW.
set(KV_BOOST_INCLUDE "${KV_DEPS_DIR}/boost-include")
if(NOT EXISTS "${KV_BOOST_INCLUDE}/boost")
  message(FATAL_ERROR "Boost link missing in ${KV_BOOST_INCLUDE}: run scripts/setup")
endif()

add_library(kv_boost INTERFACE)
# -isystem keeps Boost's warnings out of ours; only the link is on the path,
# never /usr/include itself.
target_include_directories(kv_boost SYSTEM INTERFACE "${KV_BOOST_INCLUDE}")
target_compile_definitions(kv_boost INTERFACE BOOST_ALL_NO_LIB BOOST_USE_WINDOWS_H)

add_library(kv_png INTERFACE)
target_include_directories(kv_png SYSTEM INTERFACE "${KV_DEPS_DIR}/libpng/include")
find_library(KV_PNG_LIB NAMES png16 png PATHS "${KV_DEPS_DIR}/libpng/lib" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
# The static archive: Windows has no zlib1.dll (Wine does, which would hide
# a program that cannot start on a player's machine).
find_library(KV_ZLIB_STATIC NAMES libz.a REQUIRED)
if(KV_PNG_LIB)
  target_link_libraries(kv_png INTERFACE "${KV_PNG_LIB}" "${KV_ZLIB_STATIC}")
endif()

add_library(kv_minizip INTERFACE)
target_include_directories(kv_minizip SYSTEM INTERFACE "${KV_DEPS_DIR}/minizip/include")
target_link_libraries(kv_minizip INTERFACE "${KV_DEPS_DIR}/minizip/lib/libminizip.a" "${KV_ZLIB_STATIC}")

# The Win32 libraries the program uses; static runtime so the .exe needs no
# MinGW DLLs beside it. At load time only DLLs of the system's known-DLL
# list; the others are delay-imported (cmake/delay_imports.cmake, and
# KV_DELAY_LOADED_DLLS in base/dll_search.cpp, which must name the same).
include(cmake/delay_imports.cmake)
kv_delay_import_libs(KV_PLATFORM_DELAY_LIBS
  wininet urlmon netapi32 iphlpapi gdiplus comctl32 version msimg32)
add_library(kv_platform INTERFACE)
target_link_libraries(kv_platform INTERFACE
  ${KV_PLATFORM_DELAY_LIBS} comdlg32 ole32 oleaut32 uuid
  shell32 shlwapi psapi advapi32 user32 gdi32 kernel32)
target_link_options(kv_platform INTERFACE -static -static-libgcc -static-libstdc++)

set(KV_7ZA_EXE "${KV_DEPS_DIR}/7zip/7za.exe")
