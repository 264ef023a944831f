# Cross-builds the Windows (x86-64) tool with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
set(CORVINADE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
