# Runs the tool on a copy of the README's example and reads the result back with LLVM's
# obj2yaml and llvm-objdump, which parse minidumps and PE headers independently of this
# project (and of its test builders). Prints "SKIPPED:" when they are not installed.
find_program(OBJ2YAML NAMES obj2yaml obj2yaml-14)
find_program(OBJDUMP NAMES llvm-objdump llvm-objdump-14)
if(NOT OBJ2YAML OR NOT OBJDUMP)
  message("SKIPPED: obj2yaml or llvm-objdump not found (Debian package llvm)")
  return()
endif()

function(expect_in text what)
  string(FIND "${text}" "${what}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected to find '${what}' in:\n${text}")
  endif()
endfunction()

execute_process(COMMAND "${OBJDUMP}" -p "${EXAMPLE_DIR}/app.exe" OUTPUT_VARIABLE pe)
expect_in("${pe}" "SizeOfImage             00009000")
expect_in("${pe}" "CheckSum                0001d0c5")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${EXAMPLE_DIR}/crash.dmp" DESTINATION "${WORK_DIR}")
execute_process(COMMAND "${OBJ2YAML}" "${WORK_DIR}/crash.dmp" OUTPUT_VARIABLE before)
expect_in("${before}" "Size of Image:   0x8000\n        Time Date Stamp: 1521713271\n        Module Name:     'C:\\app\\app.exe'")

execute_process(COMMAND "${TOOL}" "${WORK_DIR}/crash.dmp" "${EXAMPLE_DIR}/app.exe"
                OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the tool failed (${status}):\n${output}")
endif()
execute_process(COMMAND "${OBJ2YAML}" "${WORK_DIR}/crash.dmp" OUTPUT_VARIABLE after)
expect_in("${after}" "Size of Image:   0x9000\n        Checksum:        0x1D0C5\n        Time Date Stamp: 1521713271\n        Module Name:     'C:\\app\\app.exe'")
# The other modules are as they were.
string(REPLACE "Size of Image:   0x9000\n        Checksum:        0x1D0C5" "Size of Image:   0x8000" restored "${after}")
if(NOT restored STREQUAL before)
  message(FATAL_ERROR "more than app.exe's record changed:\n${before}\n---\n${after}")
endif()
