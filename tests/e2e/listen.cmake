# hc11sim --listen against pyserial's RFC 2217 client, an independent client. Debian's own
# python3 has python3-serial; a python3 found earlier on PATH may not.
set(DEBIAN_PYTHON3 /usr/bin/python3)
add_test(NAME sim_listen_rfc2217_client
         COMMAND ${DEBIAN_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/rfc2217_client.py
                 $<TARGET_FILE:hc11sim>)
set_tests_properties(sim_listen_rfc2217_client PROPERTIES TIMEOUT 120)
