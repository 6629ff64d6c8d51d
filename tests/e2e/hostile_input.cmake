# Hostile input files through the real hc11prog: refused before the port, or run against the
# real hc11sim where the tool takes them.
add_executable(hostile_input_tests
  ${CMAKE_CURRENT_LIST_DIR}/sim_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_fixtures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_hostile_input.cpp
  ${CMAKE_SOURCE_DIR}/tests/host/fake_target.cpp)
target_include_directories(hostile_input_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
target_link_libraries(hostile_input_tests PRIVATE hc11srec hc11talker GTest::gtest GTest::gtest_main pthread)
target_compile_definitions(hostile_input_tests PRIVATE
  HC11PROG_PATH="$<TARGET_FILE:hc11prog>"
  HC11SIM_PATH="$<TARGET_FILE:hc11sim>"
  SREC_CAT_PATH="${SREC_CAT}")
add_dependencies(hostile_input_tests hc11prog hc11sim)
gtest_discover_tests(hostile_input_tests PROPERTIES TIMEOUT 120)
