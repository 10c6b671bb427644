# Runs one scenario through ins-host and checks its exit status and message against the
# scenario's own leading comments:
#   # expect-exit: N                 exit status (default 0)
#   # expect-output: LINE: MESSAGE   stderr holds "<scenario path>:LINE: MESSAGE"
#   # module: fixture                load the fixture gauge module instead of INS.so
# Called with -DHOST=<ins-host> -DSCENARIO=<file> -DFIXTURE=<fixture module> [-DTRACE=<file>]
# [-DWORKDIR=<folder to run in and keep>] [-DCOMMAND=check-lesson for a lesson file]. HOST may be
# a list: a launcher and its arguments first.
file(STRINGS ${SCENARIO} directives REGEX "^# (expect-exit|expect-output|module):")
set(expected_exit 0)
set(expected_output "")
set(module_args "")
foreach(directive ${directives})
  if(directive MATCHES "^# expect-exit: *([0-9]+)")
    set(expected_exit ${CMAKE_MATCH_1})
  elseif(directive MATCHES "^# expect-output: *(.*)$")
    set(expected_output "${SCENARIO}:${CMAKE_MATCH_1}")
  elseif(directive MATCHES "^# module: *fixture")
    set(module_args --module ${FIXTURE})
  endif()
endforeach()
set(trace_args "")
if(DEFINED TRACE)
  set(trace_args --trace ${TRACE})
endif()
set(workdir_args "")
if(DEFINED WORKDIR)
  set(workdir_args --workdir ${WORKDIR})
endif()

if(NOT DEFINED COMMAND)
  set(COMMAND run)
endif()
execute_process(COMMAND ${HOST} ${COMMAND} ${SCENARIO} ${module_args} ${trace_args} ${workdir_args}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status STREQUAL expected_exit)
  message(FATAL_ERROR "exit status ${status}, expected ${expected_exit}")
endif()
if(expected_output)
  string(FIND "${err}" "${expected_output}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "output lacks: ${expected_output}")
  endif()
endif()
