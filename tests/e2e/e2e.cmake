# The whole job, output for output, with the dump read back by srec_cat.
add_e2e_tests(e2e_tests ${CMAKE_CURRENT_LIST_DIR}/test_end_to_end.cpp)
