# Failures of the field: the real hc11prog against the real hc11sim --fault. Each case is a
# test of its own, so that the runs that wait out read time-outs go side by side.
add_executable(fault_tests
  ${CMAKE_CURRENT_LIST_DIR}/sim_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_fixtures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_faults.cpp
  ${CMAKE_SOURCE_DIR}/tests/host/fake_target.cpp)
target_include_directories(fault_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
target_link_libraries(fault_tests PRIVATE hc11srec hc11talker GTest::gtest GTest::gtest_main pthread)
target_compile_definitions(fault_tests PRIVATE
  HC11PROG_PATH="$<TARGET_FILE:hc11prog>"
  HC11SIM_PATH="$<TARGET_FILE:hc11sim>"
  SREC_CAT_PATH="${SREC_CAT}")
add_dependencies(fault_tests hc11prog hc11sim)
gtest_discover_tests(fault_tests PROPERTIES TIMEOUT 120)
