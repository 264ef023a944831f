# Cross-builds the Windows (32-bit x86) tool with Debian's mingw-w64 (g++-mingw-w64-i686-posix).
set(CORVINADE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
