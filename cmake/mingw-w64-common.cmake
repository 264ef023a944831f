# Shared part of the mingw-w64 toolchain files. The "-posix" compilers are the ones whose
# C++ library has std::thread, which GoogleTest and the tests use.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${CORVINADE_MINGW_TRIPLET})
set(CMAKE_C_COMPILER ${CORVINADE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVINADE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVINADE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CORVINADE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links its C and C++ run-time statically, so that no mingw DLL has to sit
# beside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The tests run the Windows programs under Wine, through a wrapper that keeps one Wine
# prefix inside the build folder.
find_program(CORVINADE_WINE wine)
if(CORVINADE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/run-under-wine.sh)
endif()
