# Runs a scenario twice with a trace and fails unless both traces are byte-identical (and not
# empty). Called with -DHOST -DSCENARIO -DFIXTURE -DTRACE_DIR.
get_filename_component(name ${SCENARIO} NAME_WE)
file(MAKE_DIRECTORY ${TRACE_DIR})
foreach(run 1 2)
  set(TRACE ${TRACE_DIR}/${name}.${run}.jsonl)
  file(REMOVE ${TRACE})
  include(${CMAKE_CURRENT_LIST_DIR}/run_scenario.cmake)
endforeach()
file(SIZE ${TRACE_DIR}/${name}.1.jsonl size)
if(size EQUAL 0)
  message(FATAL_ERROR "the trace is empty")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
  ${TRACE_DIR}/${name}.1.jsonl ${TRACE_DIR}/${name}.2.jsonl RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the two traces differ")
endif()
