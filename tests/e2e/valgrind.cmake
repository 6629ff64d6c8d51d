# hc11prog under valgrind against the real hc11sim: whole runs that must end without a memory
# error or a leak. Only where valgrind is found, and not in a sanitizer build (the two do
# not mix).
find_program(VALGRIND valgrind)
if(NOT VALGRIND OR HC11_SANITIZE)
  message(STATUS "valgrind tests skipped: valgrind not found, or a sanitizer build")
  return()
endif()
add_executable(valgrind_tests
  ${CMAKE_CURRENT_LIST_DIR}/sim_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_under_valgrind.cpp
  ${CMAKE_SOURCE_DIR}/tests/host/fake_target.cpp)
target_include_directories(valgrind_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
target_link_libraries(valgrind_tests PRIVATE hc11srec GTest::gtest GTest::gtest_main pthread)
target_compile_definitions(valgrind_tests PRIVATE
  HC11PROG_PATH="$<TARGET_FILE:hc11prog>"
  HC11SIM_PATH="$<TARGET_FILE:hc11sim>"
  SREC_CAT_PATH="${SREC_CAT}"
  VALGRIND_PATH="${VALGRIND}"
  EXAMPLES_DIR="${CMAKE_SOURCE_DIR}/examples")
add_dependencies(valgrind_tests hc11prog hc11sim)
gtest_discover_tests(valgrind_tests PROPERTIES TIMEOUT 120)
