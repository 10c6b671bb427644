# The host is compiled with the boundary headers as the only module headers it can see: with
# exactly the host's include roots, a host header and the boundary headers compile, and each
# other module header cannot even be found.
# Called with -DCXX=<compiler> -DHOST_ROOT=<host include root> -DBOUNDARY_ROOT=<boundary root>
# -DWORK=<scratch folder>.
file(MAKE_DIRECTORY ${WORK})
set(flags -std=c++20 -fsyntax-only -I${HOST_ROOT} -I${BOUNDARY_ROOT})

function(compile_probe name text result_var)
  file(WRITE ${WORK}/${name}.cpp "${text}")
  execute_process(COMMAND ${CXX} ${flags} ${WORK}/${name}.cpp
    RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET)
  set(${result_var} ${status} PARENT_SCOPE)
  set(${result_var}_errors "${errors}" PARENT_SCOPE)
endfunction()

compile_probe(boundary_only
  "#include \"host/host_variables.h\"\n#include \"boundary/gauge_api.h\"\n#include \"boundary/gauge_vocabulary.h\"\nint main() { return HOST_VAR_TICK == 1 ? 0 : 1; }\n"
  status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the host's headers and the boundary do not compile alone:\n${status_errors}")
endif()

foreach(header state/ins_state.h state/host_bridge.h module/gauge_tables.h core/geodesy.h
               store/waypoint_file.h nav/navigation_cycle.h cdu/keyboard.h msu/mode_selector.h)
  string(MAKE_C_IDENTIFIER ${header} name)
  compile_probe(${name} "#include \"host/host_variables.h\"\n#include \"${header}\"\n" status)
  if(status EQUAL 0 OR NOT status_errors MATCHES "No such file")
    message(FATAL_ERROR "the host can include ${header}:\n${status_errors}")
  endif()
endforeach()
message("the host sees the boundary headers and no other module header")
