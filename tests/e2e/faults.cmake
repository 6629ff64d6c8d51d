# Failures of the field: the real hc11prog against the real hc11sim --fault. Each case is a
# test of its own, so that the runs that wait out read time-outs go side by side.
add_e2e_tests(fault_tests ${CMAKE_CURRENT_LIST_DIR}/test_faults.cpp)
