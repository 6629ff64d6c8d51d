# hc11prog under valgrind against the real hc11sim: whole runs that must end without a memory
# error or a leak. Only where valgrind is found, and not in a sanitizer build (the two do
# not mix).
if(NOT VALGRIND OR HC11_SANITIZE OR HC11_TSAN)
  message(STATUS "valgrind tests skipped: valgrind not found, or a sanitizer build")
  return()
endif()
add_e2e_tests(valgrind_tests ${CMAKE_CURRENT_LIST_DIR}/test_under_valgrind.cpp)
target_compile_definitions(valgrind_tests PRIVATE VALGRIND_PATH="${VALGRIND}")
