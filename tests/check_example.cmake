# Regenerates the example into WORK_DIR and fails if it differs from EXAMPLE_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the example generator failed: ${result}")
endif()
foreach(name crash.dmp app.exe)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK_DIR}/${name}"
                          "${EXAMPLE_DIR}/${name}" RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "example/${name} is not what the generator writes; regenerate it with "
                        "corvinade_make_example example")
  endif()
endforeach()
