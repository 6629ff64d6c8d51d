# The hc11sim program itself: test_simulator_program runs it as users and scripts do, and
# reads its dumps back with srec_cat when that is installed.
target_compile_definitions(sim_tests PRIVATE HC11SIM_PATH="$<TARGET_FILE:hc11sim>")
if(SREC_CAT)
  target_compile_definitions(sim_tests PRIVATE SIM_TEST_SREC_CAT="${SREC_CAT}")
endif()
add_dependencies(sim_tests hc11sim)
# Starting the program as a child is shared with the end-to-end tests.
target_sources(sim_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host/child_process.cpp)
target_include_directories(sim_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
