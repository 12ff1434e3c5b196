# Packs the Windows zips with cpack, checks what each holds, unpacks both into one
# folder as a user would, and runs the unpacked tool in the places users put it: in a
# maker's bin folder, elsewhere with VEXADIR5_64 naming the maker's installation,
# elsewhere with nothing set, and in the simulator's own folder.
#
#   cmake -DBUILD=<build dir> -DWORK=<scratch dir> -DCPACK=<cpack> -DUNZIP=<unzip>
#         -DVERSION=<x.y.z> -DEMULATOR=<runs Windows programs> -P ZipTest.cmake

set(WINDOWS ON)
include(${CMAKE_CURRENT_LIST_DIR}/RunTool.cmake)

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CPACK} -G ZIP -B ${WORK}/packages --config ${BUILD}/CPackConfig.cmake
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  fail("cpack -G ZIP failed:\n${output}")
endif()

set(tool_zip vexa-gpio-${VERSION}-win64)
set(simulator_zip ${tool_zip}-simulator)
set(tool_files ${tool_zip}/LICENSE.txt ${tool_zip}/README.txt ${tool_zip}/vexa-gpio.exe)
set(simulator_files ${simulator_zip}/LICENSE.txt ${simulator_zip}/README.txt ${simulator_zip}/bin/vexa-gpio.exe
                    ${simulator_zip}/bin/vexa-sim.exe ${simulator_zip}/bin/vexa_auxport.dll
                    ${simulator_zip}/bin/vexa_hal.dll)
file(GLOB zips RELATIVE ${WORK}/packages ${WORK}/packages/*.zip)
if(NOT zips STREQUAL "${simulator_zip}.zip;${tool_zip}.zip")
  fail("cpack made ${zips} instead of ${tool_zip}.zip and ${simulator_zip}.zip")
endif()

# Both unpacked into one folder, by unzip without a terminal: a file in common would
# make it ask whether to replace it, and fail for want of an answer.
set(unpacked ${WORK}/Downloads)
foreach(zip IN ITEMS tool simulator)
  execute_process(COMMAND ${UNZIP} ${WORK}/packages/${${zip}_zip}.zip -d ${unpacked}
                  INPUT_FILE /dev/null RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    fail("unzip ${${zip}_zip}.zip into the folder of the other gave status ${result}:\n${output}")
  endif()
endforeach()
file(GLOB_RECURSE found RELATIVE ${unpacked} ${unpacked}/*)
set(expected ${tool_files} ${simulator_files})
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  fail("the zips hold\n  ${found}\ninstead of\n  ${expected}")
endif()

# The README: plain ASCII text with Windows line ends throughout. In hexadecimal, as
# file(READ) drops carriage returns from text.
foreach(zip IN ITEMS tool simulator)
  file(READ ${unpacked}/${${zip}_zip}/README.txt bytes HEX)
  string(REPLACE "0d0a" "" bare "${bytes}") # aligned: an ASCII text has no byte d0
  if(NOT bytes MATCHES "^([0-7][0-9a-f])+$" OR NOT bytes MATCHES "0d0a$" OR bare MATCHES "^(..)*0[ad]")
    fail("${${zip}_zip}/README.txt is not ASCII text whose every line ends with CR LF")
  endif()
endforeach()

# (a) The tool copied into a maker's bin folder, which holds the maker's libraries
# (the stand-ins here): it finds them through its own location, with nothing set.
set(maker "${WORK}/Program Files/Morvets")
file(COPY ${unpacked}/${simulator_zip}/bin/vexa_hal.dll ${unpacked}/${simulator_zip}/bin/vexa_auxport.dll
          ${unpacked}/${tool_zip}/vexa-gpio.exe DESTINATION ${maker}/bin)
string(REPLACE "/" "\\" maker_dos "Z:${maker}")
run_tool(${WORK} ${maker}/bin/vexa-gpio.exe ARGUMENTS -board 0 -get)
expect_run("(a) the tool in the maker's bin folder" 0 "${new_report}" "${new_report_warning}")

# (b) The tool where its zip was unpacked, with VEXADIR5_64 naming the maker's
# installation and the maker's bin folder on PATH (WINEPATH under Wine), where
# Windows finds the aux-port library.
set(unpacked_tool ${unpacked}/${tool_zip}/vexa-gpio.exe)
run_tool(${WORK} ${unpacked_tool} ARGUMENTS -board 0 -get
         ENVIRONMENT "VEXADIR5_64=${maker_dos}" "WINEPATH=${maker_dos}\\bin")
expect_run("(b) the unpacked tool with VEXADIR5_64" 0 "${new_report}" "${new_report_warning}")

# (c) The same with VEXADIR5_64 not set: the documented failure.
run_tool(${WORK} ${unpacked_tool} ARGUMENTS -board 0 -get ENVIRONMENT "WINEPATH=${maker_dos}\\bin")
expect_run("(c) the unpacked tool with nothing set" 1 "" "Exception caught: Invalid board index\n")

# (d) The simulator's zip, unpacked anywhere, runs with nothing set.
run_tool(${WORK} ${unpacked}/${simulator_zip}/bin/vexa-gpio.exe ARGUMENTS -board 0 -get)
expect_run("(d) the tool of the simulator's zip" 0 "${new_report}" "${new_report_warning}")
