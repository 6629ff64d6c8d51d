# Hostile input files through the real hc11prog: refused before the port, or run against the
# real hc11sim where the tool takes them.
add_e2e_tests(hostile_input_tests ${CMAKE_CURRENT_LIST_DIR}/test_hostile_input.cpp)
