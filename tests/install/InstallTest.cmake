# Installs the build into scratch prefixes, the whole of it and the tool component
# alone, checks what lands where, and runs the installed tool against the installed
# simulator.
#
#   cmake -DBUILD=<build dir> -DWORK=<scratch dir> -DSOURCE=<source dir> -DWINDOWS=<bool>
#         [-DEMULATOR=<runs Windows programs>] [-DMAN=<man program>] -P InstallTest.cmake

include(${CMAKE_CURRENT_LIST_DIR}/RunTool.cmake)

# install_into(<prefix> [<cmake --install option>...])
function(install_into prefix)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    fail("cmake --install ${ARGN} failed:\n${output}")
  endif()
endfunction()

# expect_files(<prefix> <relative paths, sorted...>): the prefix holds exactly these files.
function(expect_files prefix)
  file(GLOB_RECURSE found RELATIVE ${prefix} ${prefix}/*)
  list(SORT found)
  if(NOT "${found}" STREQUAL "${ARGN}")
    fail("${prefix} holds\n  ${found}\ninstead of\n  ${ARGN}")
  endif()
endfunction()

if(WINDOWS)
  set(tool_files bin/vexa-gpio.exe share/doc/vexa-gpio/LICENSE.txt share/doc/vexa-gpio/README.txt)
  set(simulator_files bin/vexa-sim.exe bin/vexa_auxport.dll bin/vexa_hal.dll share/doc/vexa-gpio/LICENSE.txt)
else()
  set(tool_files bin/vexa-gpio share/bash-completion/completions/vexa-gpio share/doc/vexa-gpio/LICENSE
                 share/man/man1/vexa-gpio.1)
  set(simulator_files bin/libvexa_auxport.so bin/libvexa_hal.so bin/vexa-sim share/bash-completion/completions/vexa-sim
                      share/doc/vexa-gpio/LICENSE share/man/man1/vexa-sim.1)
endif()

file(REMOVE_RECURSE ${WORK})
set(full ${WORK}/full)
set(tool_only ${WORK}/tool-only)
install_into(${full})
install_into(${tool_only} --component tool)

set(all_files ${tool_files} ${simulator_files})
list(REMOVE_DUPLICATES all_files)
list(SORT all_files)
expect_files(${full} ${all_files})
expect_files(${tool_only} ${tool_files})

if(NOT WINDOWS)
  foreach(page IN ITEMS completion/vexa-gpio.bash:share/bash-completion/completions/vexa-gpio
                        completion/vexa-sim.bash:share/bash-completion/completions/vexa-sim
                        doc/vexa-gpio.1:share/man/man1/vexa-gpio.1 doc/vexa-sim.1:share/man/man1/vexa-sim.1)
    string(REPLACE ":" ";" page ${page})
    list(GET page 0 source_file)
    list(GET page 1 installed_file)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE}/${source_file} ${full}/${installed_file}
                    RESULT_VARIABLE different)
    if(different)
      fail("${full}/${installed_file} is not ${source_file}")
    endif()
  endforeach()
endif()

if(MAN)
  foreach(page IN ITEMS vexa-gpio vexa-sim)
    execute_process(COMMAND ${MAN} -l --warnings ${full}/share/man/man1/${page}.1
                    OUTPUT_QUIET ERROR_VARIABLE warnings RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
      fail("man -l --warnings on the installed ${page}.1: status ${result}\n${warnings}")
    endif()
  endforeach()
endif()

# The installed tool, run as a user would, on a simulated board of its own.
file(GLOB tool ${full}/bin/vexa-gpio*)
run_tool(${WORK} ${tool} ARGUMENTS -board 0 -set all:default -get)
string(CONCAT report [[
Board 0 is a Vexa Lynx 752
Bank 0 "Front GPIO":
	Outputs are not-inverted; set to not-inverted
	Inputs have pull-ups; set to pull-ups
	Inputs are differential; set to differential
]] "${new_extension_ports}" "Done.\n")
expect_run("the installed ${tool} -board 0 -set all:default -get" 0 "${report}" "")
