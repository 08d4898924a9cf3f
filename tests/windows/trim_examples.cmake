# cmake -DEMULATOR=... -DPROGRAM=brevio-trim.exe -DEXAMPLES=dir -DEXPECTED=dir -DWORK=dir -P this
# Trims every sample page with -o (the walk, the batch, the replacement)
# and through standard input to standard output (binary streams), and
# compares each result byte for byte with the expected file.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${EMULATOR} ${PROGRAM} -q -r -o ${WORK}/out ${EXAMPLES}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "brevio-trim -r -o exited with ${status}")
endif()
file(GLOB pages RELATIVE ${EXAMPLES} ${EXAMPLES}/*)
if(NOT pages)
  message(FATAL_ERROR "no sample pages in ${EXAMPLES}")
endif()
foreach(page IN LISTS pages)
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} INPUT_FILE ${EXAMPLES}/${page}
                  OUTPUT_FILE ${WORK}/${page}.piped RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "brevio-trim < ${page} exited with ${status}")
  endif()
  foreach(result ${WORK}/out/${page} ${WORK}/${page}.piped)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${result} ${EXPECTED}/${page}
                    RESULT_VARIABLE differs)
    if(differs)
      message(FATAL_ERROR "${result} differs from ${EXPECTED}/${page}")
    endif()
  endforeach()
endforeach()
message(STATUS "${pages}: as expected")
