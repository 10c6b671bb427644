# The Windows builds (presets windows-x86 and windows-x64): cross-built with mingw-w64, tested
# under Wine through the toolchain's emulator (scripts/wine-run.sh).

# --- Header-only libraries of the host: only their own include folders reach the cross
# compiler, never the build machine's whole /usr/include (its system headers are not Windows').
set(INS_HEADER_ONLY_DIR ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${INS_HEADER_ONLY_DIR})
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${INS_HEADER_ONLY_DIR}/${folder} SYMBOLIC)
endforeach()
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${INS_HEADER_ONLY_DIR})
endforeach()

# --- GoogleTest from Debian's sources, compiled by the cross compiler.
if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

if(BUILD_TESTING)
  # The module's unit tests that need no POSIX service and no GeographicLib, among them the
  # waypoint file's: its rewrite must keep the old file whole with Windows' own file calls. One
  # ctest test for the whole program: one Wine start instead of one per case.
  set(INS_WINDOWS_UNIT_TESTS cdu_cycle display_windows function_keys gauge_tables images
                             plan_import smoke waypoint_file)
  list(TRANSFORM INS_WINDOWS_UNIT_TESTS PREPEND ${CMAKE_SOURCE_DIR}/tests/unit/)
  list(TRANSFORM INS_WINDOWS_UNIT_TESTS APPEND _test.cpp)
  add_executable(unit_tests ${INS_WINDOWS_UNIT_TESTS})
  target_link_libraries(unit_tests PRIVATE ins_core GTest::gtest GTest::gtest_main)
  target_compile_options(unit_tests PRIVATE ${INS_WARNINGS})
  add_test(NAME windows_unit_tests COMMAND unit_tests)
  set_tests_properties(windows_unit_tests PROPERTIES LABELS unit)

  # INS.gau seen from outside, as the simulator's loader sees it.
  add_test(NAME gau_from_outside
    COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/check_gau.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:INS>)
  set_tests_properties(gau_from_outside PROPERTIES LABELS unit)
endif()

# --- What a panel builder installs: `cmake --install` into the simulator's folder, and the zip
# INS-win32.zip (INS-win64.zip from the 64-bit build) laid out the same way.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(INS_PACKAGE_NAME INS-win32)
else()
  set(INS_PACKAGE_NAME INS-win64)
endif()
install(TARGETS INS LIBRARY DESTINATION gauges COMPONENT gauge)
install(FILES ${CMAKE_BINARY_DIR}/assets/sound/tavren/ins_tog.wav
              ${CMAKE_BINARY_DIR}/assets/sound/tavren/ins_click.wav
        DESTINATION sound/tavren COMPONENT gauge)
install(FILES ${CMAKE_SOURCE_DIR}/examples/panel.cfg.example
              ${CMAKE_SOURCE_DIR}/docs/install-windows.md
        DESTINATION INS COMPONENT gauge)
# Our GaugeSound.dll only where the simulator has none: a simulator's own library is never
# replaced (other gauges use it too).
install(CODE "
  set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/GaugeSound.dll\")
  if(EXISTS \"\${target}\")
    message(STATUS \"Kept the GaugeSound.dll already there: \${target}\")
  else()
    file(INSTALL \"$<TARGET_FILE:GaugeSound>\" DESTINATION \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  endif()" COMPONENT sound_library)

set(INS_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-stage)
set(INS_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/${INS_PACKAGE_NAME}.zip)
add_custom_command(OUTPUT ${INS_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${INS_PACKAGE_STAGE} ${INS_PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component gauge
          --prefix ${INS_PACKAGE_STAGE} --strip
  COMMAND ${CMAKE_COMMAND} -E chdir ${INS_PACKAGE_STAGE}
          ${CMAKE_COMMAND} -E tar cf ${INS_PACKAGE_ZIP} --format=zip gauges sound INS
  DEPENDS INS gauge_sounds ${CMAKE_SOURCE_DIR}/examples/panel.cfg.example
          ${CMAKE_SOURCE_DIR}/docs/install-windows.md
  COMMENT "Packing ${INS_PACKAGE_NAME}.zip"
  VERBATIM)
add_custom_target(package_zip ALL DEPENDS ${INS_PACKAGE_ZIP})

if(BUILD_TESTING)
  add_test(NAME package_contents
    COMMAND ${CMAKE_COMMAND} -DZIP=${INS_PACKAGE_ZIP} -DBUILD=${CMAKE_BINARY_DIR}
            -DOUT=${CMAKE_BINARY_DIR}/package-check
            -P ${CMAKE_SOURCE_DIR}/tests/windows/check_package.cmake)
  set_tests_properties(package_contents PROPERTIES LABELS unit)
endif()
