# Installs the MSIs under Wine as a site's management system does, unattended, in a
# Wine prefix of the test's own: the tool's with no folder to go to, which must stop
# and install nothing; into a maker-like installation found from VEXADIR5_64; the next
# version over it, its repair and its removal, all with nothing set; the simulator's
# likewise, in its own folder. And what msiinfo reads from each MSI.
#
#   cmake -DBUILD=<build dir> -DWORK=<scratch dir> -DSOURCE=<source dir> -DVERSION=<x.y.z>
#         -DWIXL=<wixl> -DMSIINFO=<msiinfo> -DEMULATOR=<cmake/wine-run> -P MsiTest.cmake

# Among the policies: a recursive search does not follow the prefix's links to the
# user's home folder.
cmake_minimum_required(VERSION 3.25)
set(WINDOWS ON)
include(${CMAKE_CURRENT_LIST_DIR}/RunTool.cmake)

# A prefix of our own, so that what is installed touches no other test's, and a
# server kept for the whole test, stopped on every way out.
set(ENV{VEXA_WINEPREFIX} ${WORK}/wineprefix)
set(on_failure ${EMULATOR} --stop-server)
if(EXISTS ${WORK}/wineprefix)
  execute_process(COMMAND ${EMULATOR} --stop-server OUTPUT_QUIET ERROR_QUIET)
endif()
file(REMOVE_RECURSE ${WORK})
# Its services would hold any output pipe open for as long as they live.
execute_process(COMMAND ${EMULATOR} --keep-server RESULT_VARIABLE result
                INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(NOT result EQUAL 0)
  fail("could not start a Wine server for the prefix ${WORK}/wineprefix")
endif()
set(drive_c ${WORK}/wineprefix/drive_c)

string(REGEX REPLACE "[0-9]+$" "" next_version ${VERSION})
string(REGEX MATCH "[0-9]+$" patch ${VERSION})
math(EXPR patch "${patch} + 1")
string(APPEND next_version ${patch})
set(manufacturer "the vexa-gpio authors")
set(tool_msi vexa-gpio-${VERSION}-win64)
set(simulator_msi ${tool_msi}-simulator)
set(upgrade_code_tool "{7A0C5E2B-3D41-4F6B-9E27-52C8D1B6A903}")
set(upgrade_code_simulator "{7A0C5E2B-3D41-4F6B-9E27-52C8D1B6A904}")
set(product_name_tool vexa-gpio)
set(product_name_simulator "vexa-gpio board simulator")

# msi_property(<variable> <msi> <property>): a value of the MSI's Property table.
function(msi_property variable msi property)
  execute_process(COMMAND ${MSIINFO} export ${msi} Property RESULT_VARIABLE result OUTPUT_VARIABLE table)
  string(REGEX MATCH "\n${property}\t[^\r\n]*" line "${table}")
  if(NOT result EQUAL 0 OR line STREQUAL "")
    fail("msiinfo found no property ${property} in ${msi}")
  endif()
  string(REGEX REPLACE "^\n[^\t]*\t" "" value "${line}")
  set(${variable} "${value}" PARENT_SCOPE)
endfunction()

# What the MSIs say they are; and the next versions', built as the build does.
foreach(msi IN ITEMS tool simulator)
  set(${msi}_next_msi ${WORK}/vexa-gpio-${next_version}-${msi}.msi)
  execute_process(COMMAND ${CMAKE_COMMAND} -DWIXL=${WIXL} -DPRODUCT=${msi} -DVERSION=${next_version}
                          "-DMANUFACTURER=${manufacturer}" -DFILES=${BUILD}/packaging/msi/${${msi}_msi}
                          -DOUTPUT=${${msi}_next_msi} -P ${SOURCE}/packaging/Msi.cmake
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    fail("building the ${msi}'s MSI of version ${next_version} failed:\n${output}")
  endif()
  set(${msi}_msi ${BUILD}/${${msi}_msi}.msi)
  foreach(property_value IN ITEMS "ProductName=${product_name_${msi}}" "ProductVersion=${VERSION}"
                                  "Manufacturer=${manufacturer}" "UpgradeCode=${upgrade_code_${msi}}")
    string(REGEX MATCH "^([^=]*)=(.*)$" property_value "${property_value}")
    set(property ${CMAKE_MATCH_1})
    set(wanted "${CMAKE_MATCH_2}")
    msi_property(value ${${msi}_msi} ${property})
    if(NOT value STREQUAL wanted)
      fail("msiinfo reads the ${property} \"${value}\" from ${${msi}_msi} instead of \"${wanted}\"")
    endif()
  endforeach()
  msi_property(${msi}_code ${${msi}_msi} ProductCode)
  msi_property(${msi}_next_code ${${msi}_next_msi} ProductCode)
endforeach()

# msiexec(<what> <status> <argument>...): msiexec with the arguments, unattended,
# with neither VEXADIR5_64 nor VEXADIR5 set unless an argument ENV sets them, and
# its log in <WORK>/<what>.log. Wine hands on the low byte of msiexec's status, so
# 1603 (the install failed) is 67.
function(msiexec what status)
  cmake_parse_arguments(PARSE_ARGV 2 run "" "" "ENV")
  string(MAKE_C_IDENTIFIER "${what}" log)
  set(log ${WORK}/${log}.log)
  # Wine hands a Windows program Unix paths as they are: give it the DOS form.
  set(arguments "")
  foreach(argument IN LISTS run_UNPARSED_ARGUMENTS log)
    if(argument MATCHES "^/.*/") # a path, not an option such as /i
      string(REPLACE "/" "\\" argument "Z:${argument}")
    endif()
    list(APPEND arguments "${argument}")
  endforeach()
  list(POP_BACK arguments log_dos)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=VEXADIR5_64 --unset=VEXADIR5 ${run_ENV}
                          ${EMULATOR} msiexec ${arguments} /qn /l*v ${log_dos}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result STREQUAL status)
    string(JOIN " " command ${arguments})
    fail("${what}: msiexec ${command} gave status ${result} instead of ${status}\n"
         "${output}\nIts log is ${log}.")
  endif()
endfunction()

# uninstall_entry(<variable> <product code>): "<version>, <publisher>" as the
# product's entry in the list of installed programs shows them, or "none".
function(uninstall_entry variable code)
  set(key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${code}")
  set(entry "")
  foreach(name IN ITEMS DisplayVersion Publisher)
    execute_process(COMMAND ${EMULATOR} reg query ${key} /v ${name}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_QUIET)
    if(NOT result EQUAL 0)
      set(${variable} none PARENT_SCOPE)
      return()
    endif()
    string(REGEX REPLACE ".*${name} +REG_SZ +([^\r\n]*).*" "\\1" value "${output}")
    list(APPEND entry "${value}")
  endforeach()
  string(JOIN ", " entry ${entry})
  set(${variable} "${entry}" PARENT_SCOPE)
endfunction()

# expect_entries(<what> <tool's> <tool's next> <simulator's> <simulator's next>): the
# entries of both versions of both products.
function(expect_entries what)
  set(found "")
  foreach(code IN ITEMS ${tool_code} ${tool_next_code} ${simulator_code} ${simulator_next_code})
    uninstall_entry(entry ${code})
    list(APPEND found "(${entry})")
  endforeach()
  list(TRANSFORM ARGN PREPEND "(")
  list(TRANSFORM ARGN APPEND ")")
  if(NOT found STREQUAL ARGN)
    fail("${what}: the installed programs' entries of ${tool_code} ${tool_next_code} ${simulator_code} "
         "${simulator_next_code} are\n  ${found}\ninstead of\n  ${ARGN}")
  endif()
endfunction()

# expect_files(<what> <folder> <file>...): the folder holds exactly these files and
# folders, and the prefix's C: drive no file of ours outside the simulator's folder.
function(expect_files what folder)
  file(GLOB_RECURSE found LIST_DIRECTORIES true RELATIVE ${folder} ${folder}/*)
  set(wanted ${ARGN})
  list(SORT found)
  list(SORT wanted)
  if(NOT found STREQUAL wanted)
    fail("${what}: ${folder} holds\n  ${found}\ninstead of\n  ${wanted}")
  endif()
  file(GLOB_RECURSE ours RELATIVE ${drive_c} ${drive_c}/*vexa*)
  list(FILTER ours EXCLUDE REGEX "^Program Files/vexa-gpio-simulator/")
  if(NOT ours STREQUAL "")
    fail("${what}: the Wine prefix's C: drive holds files of ours: ${ours}")
  endif()
endfunction()

# The maker's installation, with the stand-ins as the maker's libraries and a
# README.txt of the maker's in the bin folder.
set(maker "${WORK}/Program Files/Morvets")
file(COPY ${BUILD}/bin/vexa_hal.dll ${BUILD}/bin/vexa_auxport.dll DESTINATION ${maker}/bin)
file(WRITE ${maker}/bin/README.txt "The maker's notes\r\n")
set(maker_files bin bin/README.txt bin/vexa_auxport.dll bin/vexa_hal.dll)
set(installed_files bin/vexa-gpio.exe bin/vexa-gpio bin/vexa-gpio/LICENSE.txt bin/vexa-gpio/README.txt)
string(REPLACE "/" "\\" maker_dos "Z:${maker}")
set(with_maker ENV "VEXADIR5_64=${maker_dos}")
# maker_sums(<variable>): the checksums of the maker's files.
function(maker_sums variable)
  set(sums "")
  foreach(file IN LISTS maker_files)
    if(NOT IS_DIRECTORY ${maker}/${file})
      file(SHA256 ${maker}/${file} sum)
      list(APPEND sums ${sum})
    endif()
  endforeach()
  set(${variable} ${sums} PARENT_SCOPE)
endfunction()
maker_sums(maker_sums_before)
# expect_maker_files(<what>): the maker's files are as they were, and ours beside
# them if ARGN says so.
function(expect_maker_files what)
  expect_files("${what}" ${maker} ${maker_files} ${ARGN})
  maker_sums(sums)
  if(NOT sums STREQUAL maker_sums_before)
    fail("${what}: a file of the maker's changed")
  endif()
endfunction()

# (a) No folder: the tool's MSI stops before it changes anything.
msiexec("(a) the tool's MSI with no folder" 67 /i ${tool_msi})
expect_maker_files("(a) the tool's MSI with no folder")
expect_entries("(a) the tool's MSI with no folder" none none none none)

# (b) Into the maker's bin folder, found from VEXADIR5_64; the tool runs from there.
msiexec("(b) the tool's MSI with VEXADIR5_64" 0 /i ${tool_msi} ${with_maker})
expect_maker_files("(b) the tool's MSI with VEXADIR5_64" ${installed_files})
expect_entries("(b) the tool's MSI with VEXADIR5_64" "${VERSION}, ${manufacturer}" none none none)
run_tool(${WORK} ${maker}/bin/vexa-gpio.exe ARGUMENTS -board 0 -get)
expect_run("(b) the installed tool" 0 "${new_report}" "${new_report_warning}")

# (c) The next version over it, with nothing set: into the same folder, in its place;
# then repaired, also with nothing set.
msiexec("(c) the next tool's MSI over it" 0 /i ${tool_next_msi})
expect_maker_files("(c) the next tool's MSI over it" ${installed_files})
expect_entries("(c) the next tool's MSI over it" none "${next_version}, ${manufacturer}" none none)
file(REMOVE ${maker}/bin/vexa-gpio.exe)
msiexec("(c) the tool repaired" 0 /i ${tool_next_msi} REINSTALL=ALL REINSTALLMODE=amus)
expect_maker_files("(c) the tool repaired" ${installed_files})

# (d) Removed, with nothing set: the maker's files alone are left.
msiexec("(d) the tool removed" 0 /x ${tool_next_msi})
expect_maker_files("(d) the tool removed")
expect_entries("(d) the tool removed" none none none none)
execute_process(COMMAND ${EMULATOR} reg query "HKLM\\Software\\vexa-gpio" RESULT_VARIABLE result
                OUTPUT_QUIET ERROR_QUIET)
if(result EQUAL 0)
  fail("(d) the tool removed: its registry key HKLM\\Software\\vexa-gpio is left")
endif()

# (e) The simulator's MSI, with VEXADIR5_64 naming the maker's installation, which it
# leaves alone; the tool and vexa-sim run from its folder.
set(simulator "${drive_c}/Program Files/vexa-gpio-simulator")
set(simulator_files LICENSE.txt README.txt bin bin/vexa-gpio.exe bin/vexa-sim.exe bin/vexa_auxport.dll
                    bin/vexa_hal.dll)
msiexec("(e) the simulator's MSI" 0 /i ${simulator_msi} ${with_maker})
expect_files("(e) the simulator's MSI" ${simulator} ${simulator_files})
expect_maker_files("(e) the simulator's MSI")
expect_entries("(e) the simulator's MSI" none none "${VERSION}, ${manufacturer}" none)
run_tool(${WORK} ${simulator}/bin/vexa-gpio.exe ARGUMENTS -board 0 -get)
expect_run("(e) the simulator's tool" 0 "${new_report}" "${new_report_warning}")
run_tool(${WORK} ${simulator}/bin/vexa-sim.exe ARGUMENTS show 0)
if(NOT tool_status EQUAL 0 OR NOT tool_output MATCHES "\nBoard 0: type 0x752 \\(1874\\)\n")
  fail("(e) vexa-sim show 0 gave status ${tool_status}\n${tool_output}${tool_errors}")
endif()

# (f) The simulator's next version over it, and its removal.
msiexec("(f) the next simulator's MSI over it" 0 /i ${simulator_next_msi})
expect_files("(f) the next simulator's MSI over it" ${simulator} ${simulator_files})
expect_entries("(f) the next simulator's MSI over it" none none none "${next_version}, ${manufacturer}")
msiexec("(f) the simulator removed" 0 /x ${simulator_next_msi})
if(EXISTS ${simulator})
  fail("(f) the simulator removed: ${simulator} is left")
endif()
expect_maker_files("(f) the simulator removed")
expect_entries("(f) the simulator removed" none none none none)

execute_process(COMMAND ${EMULATOR} --stop-server)
