# End-to-end tests: build/hc11prog against build/hc11sim over a pseudo-terminal.
add_executable(e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/sim_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_fixtures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_end_to_end.cpp
  ${CMAKE_SOURCE_DIR}/tests/host/fake_target.cpp)
target_include_directories(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
target_link_libraries(e2e_tests PRIVATE hc11srec hc11talker GTest::gtest GTest::gtest_main pthread)
target_compile_definitions(e2e_tests PRIVATE
  HC11PROG_PATH="$<TARGET_FILE:hc11prog>"
  HC11SIM_PATH="$<TARGET_FILE:hc11sim>"
  SREC_CAT_PATH="${SREC_CAT}"
  EXAMPLES_DIR="${CMAKE_SOURCE_DIR}/examples")
add_dependencies(e2e_tests hc11prog hc11sim)
gtest_discover_tests(e2e_tests PROPERTIES TIMEOUT 120)
