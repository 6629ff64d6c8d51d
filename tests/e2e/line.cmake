# Several boards in one command: simulators over the network, over ptys and behind ser2net
# (with the README's production configuration), the counter shared by two processes, the
# station and Ctrl-C; the JSON events and the log read by Debian's own python3.
add_e2e_tests(line_tests ${CMAKE_CURRENT_LIST_DIR}/test_line.cpp
              ${CMAKE_SOURCE_DIR}/tests/port/ser2net_process.cpp)
target_include_directories(line_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/port)
target_compile_definitions(line_tests PRIVATE SER2NET_PATH="${SER2NET}"
                                              README_PATH="${CMAKE_SOURCE_DIR}/README.md"
                                              LINE_JSON_PY="${CMAKE_CURRENT_LIST_DIR}/line_json.py")
