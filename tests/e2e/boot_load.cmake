# The talker load against the simulated chip, through a port that pauses before each write.
add_e2e_tests(boot_load_tests ${CMAKE_CURRENT_LIST_DIR}/test_boot_load.cpp)
