# ins_gtest_main: the main every GoogleTest program of the project links instead of GoogleTest's
# own, so that a suite whose set-up fails fails its tests rather than having them counted as
# skipped (tests/support/gtest_main.cpp).
add_library(ins_gtest_main STATIC ${CMAKE_CURRENT_LIST_DIR}/gtest_main.cpp)
target_link_libraries(ins_gtest_main PUBLIC GTest::gtest)
target_compile_options(ins_gtest_main PRIVATE ${INS_WARNINGS})

# The guard shown to work on set-ups broken on purpose, through ctest as the suites run.
if(NOT WIN32)
  add_executable(set_up_guard_probe ${CMAKE_CURRENT_LIST_DIR}/set_up_guard_probe.cpp)
  target_link_libraries(set_up_guard_probe PRIVATE ins_gtest_main)
  target_compile_options(set_up_guard_probe PRIVATE ${INS_WARNINGS})
  add_test(NAME gtest_set_up_guard
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_set_up_guard.sh ${CMAKE_CTEST_COMMAND}
            $<TARGET_FILE:set_up_guard_probe> ${CMAKE_SOURCE_DIR})
  set_tests_properties(gtest_set_up_guard PROPERTIES LABELS unit)
endif()
