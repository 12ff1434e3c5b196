# What the install tests' scripts share: failing with a message, and running an
# installed tool as a user would, on a simulated machine of its own.
#
# The including script sets WINDOWS (a Windows build) and EMULATOR (what runs a
# Windows program, if anything).

# fail(<text>...): ends the test with the text, after running the command in the
# variable on_failure, if the including script set one to clean up.
function(fail)
  string(JOIN "" message ${ARGN})
  if(on_failure)
    execute_process(COMMAND ${on_failure})
  endif()
  message(FATAL_ERROR "${message}")
endfunction()

# The report's lines for the extension ports of that machine while it is new.
set(new_extension_ports [[
Bank 1 "GPIO Port A":
	Outputs are not-inverted; not set
	Inputs have pull-ups; not set
	Inputs are single-ended; not set
Bank 2 "GPIO Port B":
	Outputs are not-inverted; not set
	Inputs have pull-ups; not set
	Inputs are single-ended; not set
]])
# "-board 0 -get" on that machine while it is new: the report, and its warning.
string(CONCAT new_report [[
Board 0 is a Vexa Lynx 752
Bank 0 "Front GPIO":
	Outputs are not-inverted; not set
	Inputs have pull-ups; not set
	Inputs are single-ended; not set
]] "${new_extension_ports}" "Done.\n")
set(new_report_warning "WARNING: all parameters must be set on this bank\n")

# run_tool(<work dir> <tool> ARGUMENTS <argument>... [ENVIRONMENT <VAR=value>...])
# Runs the tool on a machine of one board 0, a Vexa Lynx 752 with both expanders,
# kept in <work dir>, with no other variable of the tool's or the simulator's set.
# Sets tool_status, tool_output (line ends "\n") and tool_errors in the caller.
function(run_tool work tool)
  cmake_parse_arguments(PARSE_ARGV 2 run "" "" "ARGUMENTS;ENVIRONMENT")
  file(WRITE ${work}/sim.conf
    "write-cycle-ms 0\n"
    "board 0 type 0x752\n"
    "expander 0 IOS0 DS4520\n"
    "expander 0 IOS1 DS4510\n")
  set(config ${work}/sim.conf)
  set(state ${work}/sim.state)
  if(WINDOWS)
    # Wine hands a Windows program Unix paths as they are: give it the DOS form.
    foreach(variable IN ITEMS config state)
      string(REPLACE "/" "\\" ${variable} "Z:${${variable}}")
    endforeach()
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=VEXADIR5_64 --unset=VEXADIR5 --unset=VEXA_SIM_TRACE
            --unset=VEXA_SIM_FAIL_CALL VEXA_SIM_CONFIG=${config} VEXA_SIM_STATE=${state} ${run_ENVIRONMENT}
            ${EMULATOR} ${tool} ${run_ARGUMENTS}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  string(REPLACE "\r" "" output "${output}")
  string(REPLACE "\r" "" errors "${errors}")
  set(tool_status ${status} PARENT_SCOPE)
  set(tool_output "${output}" PARENT_SCOPE)
  set(tool_errors "${errors}" PARENT_SCOPE)
endfunction()

# expect_run(<what> <status> <standard output> <standard error>): the last run_tool
# gave these, else the test fails, saying what ran.
function(expect_run what status output errors)
  if(NOT tool_status STREQUAL status OR NOT tool_output STREQUAL output OR NOT tool_errors STREQUAL errors)
    fail("${what} gave status ${tool_status} instead of ${status}\n"
         "standard output:\n${tool_output}\nstandard error:\n${tool_errors}")
  endif()
endfunction()
