# From a Linux build: cross-build the Windows tool and its tests with mingw-w64 in
# <build>/windows, and make their tests part of this build's test run, under Wine. On a
# machine without mingw-w64, Wine or GoogleTest's sources, one test says which is missing
# and is reported as skipped.
set(CORVINADE_WINDOWS_TESTS AUTO CACHE STRING
    "Cross-build the Windows tool and run its tests under Wine: AUTO (when the tools are here) or OFF")
set_property(CACHE CORVINADE_WINDOWS_TESTS PROPERTY STRINGS AUTO OFF)
if(CORVINADE_WINDOWS_TESTS STREQUAL "OFF")
  return()
endif()

find_program(CORVINADE_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(CORVINADE_HOST_WINE wine)
set(corvinade_windows_missing "")
if(NOT CORVINADE_MINGW_CXX)
  list(APPEND corvinade_windows_missing "mingw-w64 (g++-mingw-w64-x86-64-posix)")
endif()
if(NOT CORVINADE_HOST_WINE)
  list(APPEND corvinade_windows_missing "Wine (wine)")
endif()
if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
  list(APPEND corvinade_windows_missing "GoogleTest's sources (googletest)")
endif()
if(corvinade_windows_missing)
  list(JOIN corvinade_windows_missing ", " corvinade_windows_missing)
  add_test(NAME windows.NotBuilt COMMAND ${CMAKE_COMMAND} -E echo
           "SKIPPED: the Windows tests need ${corvinade_windows_missing}, not found here")
  set_tests_properties(windows.NotBuilt PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED:")
  return()
endif()

include(ExternalProject)
set(corvinade_windows_dir ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(corvinade_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${corvinade_windows_dir}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCORVINADE_WERROR=${CORVINADE_WERROR}
    -DCORVINADE_SHARED_DIR=${CORVINADE_SHARED_DIR}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
# The cross-build's tests join this build's test run.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/windows-tests.cmake
     "if(EXISTS \"${corvinade_windows_dir}/CTestTestfile.cmake\")\n"
     "  subdirs(\"${corvinade_windows_dir}\")\n"
     "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
             ${CMAKE_CURRENT_BINARY_DIR}/windows-tests.cmake)
