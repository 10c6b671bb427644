# The whole scenario suite (tests/scenarios, the must-fail ones included) played by the Windows
# ins-host under Wine against the Windows module, each run then compared with the same scenario
# played by the Linux build (INS_LINUX_BUILD): same exit status, byte-identical traces (texts,
# images, events, sounds of every frame) and byte-identical files left in the working folder
# (the waypoint file above all).
set(INS_LINUX_BUILD "${CMAKE_SOURCE_DIR}/build/dev" CACHE PATH
    "Linux build whose ins-host the Windows scenario runs are compared with")
string(REPLACE ";" "|" INS_HOST_LAUNCHER "${CMAKE_CROSSCOMPILING_EMULATOR}")
file(GLOB INS_SCENARIOS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/scenarios/*.scn ${CMAKE_SOURCE_DIR}/tests/scenarios/must-fail/*.scn)
foreach(scenario ${INS_SCENARIOS})
  get_filename_component(name ${scenario} NAME_WE)
  get_filename_component(folder ${scenario} DIRECTORY)
  get_filename_component(folder ${folder} NAME)
  set(prefix windows_scenario)
  if(folder STREQUAL "must-fail")
    set(prefix windows_scenario_must_fail)
  endif()
  add_test(NAME ${prefix}.${name}
    COMMAND ${CMAKE_COMMAND} "-DHOST_LAUNCHER=${INS_HOST_LAUNCHER}" -DHOST=$<TARGET_FILE:ins-host>
            -DSCENARIO=${scenario} -DFIXTURE=$<TARGET_FILE:fixture_gauge>
            -DLINUX_BUILD=${INS_LINUX_BUILD} -DOUT=${CMAKE_BINARY_DIR}/cross-check/${prefix}.${name}
            -P ${CMAKE_SOURCE_DIR}/tests/windows/run_and_compare.cmake)
  set_tests_properties(${prefix}.${name} PROPERTIES LABELS "scenario;wine"
    SKIP_REGULAR_EXPRESSION "skipped on Windows: ")
endforeach()

# The Windows host's pictures, drawn from the module's own BITMAP resources, against the Linux
# host's, drawn from the art's files.
find_program(INS_PYTHON3_PROGRAM python3 REQUIRED)
add_test(NAME windows_snapshot_from_resources
  COMMAND ${CMAKE_COMMAND} "-DHOST_LAUNCHER=${INS_HOST_LAUNCHER}" -DHOST=$<TARGET_FILE:ins-host>
          -DLINUX_BUILD=${INS_LINUX_BUILD}
          -DSCENARIO=${CMAKE_SOURCE_DIR}/tests/windows/snapshot_from_resources.scn
          -DOUT=${CMAKE_BINARY_DIR}/cross-check/snapshot_from_resources
          -DPYTHON=${INS_PYTHON3_PROGRAM}
          -P ${CMAKE_SOURCE_DIR}/tests/windows/compare_snapshots.cmake)
set_tests_properties(windows_snapshot_from_resources PROPERTIES LABELS "scenario;wine")
