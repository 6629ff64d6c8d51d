# Whole runs at the crystals boards use, hc11prog's -x against hc11sim's --crystal.
add_e2e_tests(crystal_tests ${CMAKE_CURRENT_LIST_DIR}/test_crystals.cpp)
