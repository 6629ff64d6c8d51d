# Whole runs across the network: hc11prog through ser2net in front of hc11sim's pty, with the
# README's ser2net configuration among them.
add_e2e_tests(network_tests ${CMAKE_CURRENT_LIST_DIR}/test_network.cpp
              ${CMAKE_SOURCE_DIR}/tests/port/ser2net_process.cpp)
target_include_directories(network_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/port)
target_compile_definitions(network_tests PRIVATE SER2NET_PATH="${SER2NET}"
                                                 README_PATH="${CMAKE_SOURCE_DIR}/README.md")
