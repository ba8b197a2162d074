# Cross-compiling the Windows in-process servers with Debian's MinGW-w64 (the
# posix thread model, for std::thread and std::mutex). QUILLOR_WINDOWS_ARCH picks
# the target: x86_64 (the default) or i686 for the 32-bit hosts.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUILLOR_WINDOWS_ARCH=i686
set(QUILLOR_WINDOWS_ARCH "x86_64" CACHE STRING "Windows target: x86_64 or i686")
set_property(CACHE QUILLOR_WINDOWS_ARCH PROPERTY STRINGS x86_64 i686)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLOR_WINDOWS_ARCH)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUILLOR_WINDOWS_ARCH})
set(triple ${QUILLOR_WINDOWS_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# widl comes in one build that writes type libraries for either target; the IDL
# files it imports come with Wine's development files.
find_program(QUILLOR_WIDL NAMES i686-w64-mingw32-widl x86_64-w64-mingw32-widl widl REQUIRED)
set(QUILLOR_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files")
# The standard OLE types (stdole2.tlb) that the type libraries refer to.
set(QUILLOR_WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "")
if(QUILLOR_WINDOWS_ARCH STREQUAL "i686")
  set(QUILLOR_WIDL_TARGET --win32)
else()
  set(QUILLOR_WIDL_TARGET --win64)
endif()
