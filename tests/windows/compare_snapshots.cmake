# Plays tests/windows/snapshot_from_resources.scn with the Windows host (pictures from INS.gau's
# resources) and with the Linux host (pictures from the art's files), then compares the pictures
# (compare_pictures.py). Called with -DHOST_LAUNCHER -DHOST -DLINUX_BUILD -DSCENARIO -DOUT
# -DPYTHON.
include(${CMAKE_CURRENT_LIST_DIR}/linux_host.cmake)
file(REMOVE_RECURSE ${OUT})
string(REPLACE "|" ";" launcher "${HOST_LAUNCHER}")
foreach(side windows linux)
  if(side STREQUAL "windows")
    set(command ${launcher} ${HOST})
  else()
    set(command ${linux_host})
  endif()
  execute_process(COMMAND ${command} run ${SCENARIO} --output ${OUT}/${side}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${side} run failed (${status}):\n${out}${err}")
  endif()
endforeach()
execute_process(COMMAND ${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/compare_pictures.py
  ${OUT}/windows ${OUT}/linux load.svg lamp-test.svg keys.svg RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the Windows pictures differ from the Linux ones")
endif()
