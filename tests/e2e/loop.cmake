# From reset to the running program: the wait for a reset by hand, the monitor and its ways
# out through a pty as the tool's terminal, and the reset lines over hc11sim --listen.
add_e2e_tests(e2e_loop_tests ${CMAKE_CURRENT_LIST_DIR}/test_board_loop.cpp)
target_link_libraries(e2e_loop_tests PRIVATE util)
