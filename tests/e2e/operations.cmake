# Reading the chip back and verifying it, against the real hc11sim.
add_e2e_tests(operations_tests ${CMAKE_CURRENT_LIST_DIR}/test_operations.cpp)
