# Plays one scenario with the Windows ins-host (under Wine), checks it as run_scenario.cmake
# does, plays it again with the Linux ins-host, and fails unless both runs agree: exit status,
# trace bytes, and every file left in the working folder, byte for byte.
# Called with -DHOST_LAUNCHER=<launcher, arguments separated by |> -DHOST=<ins-host.exe>
# -DSCENARIO -DFIXTURE=<fixture_gauge.dll> -DLINUX_BUILD=<Linux build folder> -DOUT=<folder>.

# The Windows host has no flight model (GeographicLib has no Windows build here).
file(STRINGS ${SCENARIO} flying REGEX "^[ \t]*(motion|takeoff|wind|expect[ \t]+near)[ \t]")
if(flying)
  list(GET flying 0 first)
  string(STRIP "${first}" first)
  message("skipped on Windows: the scenario flies the aircraft (\"${first}\"), and the Windows "
          "ins-host is built without the flight model, which needs GeographicLib")
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/linux_host.cmake)

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/windows ${OUT}/linux)

# The Windows run, checked against the scenario's own directives.
string(REPLACE "|" ";" launcher "${HOST_LAUNCHER}")
set(windows_host ${HOST})
set(HOST ${launcher} ${windows_host})
set(TRACE ${OUT}/windows/trace.jsonl)
set(WORKDIR ${OUT}/windows/work)
set(ENV{INS_WINE_CLEAN_ON_RETRY} ${WORKDIR})  # see scripts/wine-run.sh
include(${CMAKE_CURRENT_LIST_DIR}/../scenarios/run_scenario.cmake)
unset(ENV{INS_WINE_CLEAN_ON_RETRY})
set(windows_status ${status})

# The same scenario on Linux.
set(HOST ${linux_host})
set(FIXTURE ${LINUX_BUILD}/fixture_gauge.so)
set(TRACE ${OUT}/linux/trace.jsonl)
set(WORKDIR ${OUT}/linux/work)
include(${CMAKE_CURRENT_LIST_DIR}/../scenarios/run_scenario.cmake)

set(differences "")
if(NOT windows_status STREQUAL status)
  list(APPEND differences "exit status: Windows ${windows_status}, Linux ${status}")
endif()
foreach(side windows linux)
  if(NOT EXISTS ${OUT}/${side}/trace.jsonl)
    file(TOUCH ${OUT}/${side}/trace.jsonl)
  endif()
  file(MAKE_DIRECTORY ${OUT}/${side}/work)
  file(GLOB_RECURSE ${side}_files RELATIVE ${OUT}/${side}/work ${OUT}/${side}/work/*)
  list(SORT ${side}_files)
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
  ${OUT}/windows/trace.jsonl ${OUT}/linux/trace.jsonl RESULT_VARIABLE trace_differs)
if(trace_differs)
  list(APPEND differences "the traces differ: ${OUT}/windows/trace.jsonl ${OUT}/linux/trace.jsonl")
endif()
if(NOT windows_files STREQUAL linux_files)
  list(APPEND differences "working folders hold different files: Windows [${windows_files}], "
                          "Linux [${linux_files}]")
else()
  foreach(name ${windows_files})
    # The folder's lock file names the process that held it (its id and command line), which
    # differs between any two runs; both runs must have held the folder, which the list shows.
    if(name STREQUAL "ins-host.lock")
      continue()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
      ${OUT}/windows/work/${name} ${OUT}/linux/work/${name} RESULT_VARIABLE file_differs)
    if(file_differs)
      list(APPEND differences "${name} differs between the Windows and the Linux run")
    endif()
  endforeach()
endif()
if(differences)
  string(REPLACE ";" "\n  " differences "${differences}")
  message(FATAL_ERROR "Windows and Linux runs differ:\n  ${differences}")
endif()
list(LENGTH windows_files file_count)
message("same as on Linux: exit status ${status}, trace, ${file_count} working-folder file(s)")
