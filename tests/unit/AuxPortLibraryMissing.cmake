# The tool binds the auxiliary-port library when it starts, so without the library
# it does not start at all; with it beside the executable, it runs.
#
# On Linux the tool must also import every function of the library's exports file, so
# that a library without one of them does not let it start either.
#
#   cmake -DTOOL=<vexa-gpio> -DHAL_LIBRARY=<file> -DPORT_LIBRARY=<file> -DSTAGE=<dir>
#         [-DEMULATOR=<wine-run>] -DWINDOWS=<ON|OFF> -DNM=<nm> -DEXPORTS=<vexa_auxport.def>
#         -P AuxPortLibraryMissing.cmake

if(WINDOWS)
  # Wine ends a process whose DLL imports fail with the low byte of STATUS_DLL_NOT_FOUND
  # (0xC0000135); it says why only when its diagnostics are on, which the runner turns off.
  set(expected_status 53)
  set(expected_message "")
else()
  set(expected_status 127)
  set(expected_message "libvexa_auxport\\.so: cannot open shared object file")
endif()

if(NOT WINDOWS)
  execute_process(COMMAND ${NM} -D --undefined-only ${TOOL} OUTPUT_VARIABLE imports RESULT_VARIABLE status)
  file(STRINGS ${EXPORTS} exported REGEX "^ +VAux")
  foreach(line IN LISTS exported)
    string(REGEX MATCH "VAux[A-Za-z0-9]+" function "${line}")
    if(NOT status EQUAL 0 OR NOT imports MATCHES " U ${function}\n")
      message(FATAL_ERROR "The tool does not import ${function}, so it would start without it")
    endif()
  endforeach()
endif()

# A copy of the tool with the hardware library but not the port library.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/bin)
file(COPY ${TOOL} ${HAL_LIBRARY} DESTINATION ${STAGE}/bin)
get_filename_component(tool_name ${TOOL} NAME)
set(staged_tool ${STAGE}/bin/${tool_name})
unset(ENV{LD_LIBRARY_PATH})

function(run_tool)
  execute_process(COMMAND ${EMULATOR} ${staged_tool} RESULT_VARIABLE status OUTPUT_VARIABLE output
                  ERROR_VARIABLE errors TIMEOUT 120)
  set(status "${status}" PARENT_SCOPE)
  set(output "${output}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

run_tool()
if(NOT status STREQUAL expected_status OR output MATCHES "Done" OR NOT errors MATCHES "${expected_message}")
  message(FATAL_ERROR "Without ${PORT_LIBRARY} the tool should not start (status ${expected_status}, "
                      "\"${expected_message}\" on stderr); it gave status ${status}\n"
                      "stdout: ${output}\nstderr: ${errors}")
endif()

file(COPY ${PORT_LIBRARY} DESTINATION ${STAGE}/bin)
run_tool()
if(NOT status STREQUAL "0" OR NOT output MATCHES "^Done\\.\r?\n$")
  message(FATAL_ERROR "With the port library beside it the tool should run and say \"Done.\"; "
                      "it gave status ${status}\nstdout: ${output}\nstderr: ${errors}")
endif()
file(REMOVE_RECURSE ${STAGE})
