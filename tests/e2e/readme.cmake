# The README's simulator example, taken from README.md itself and run as written; when the
# suite runs as root it runs as the user nobody.
add_test(NAME readme.simulated_target
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/readme_example.sh ${CMAKE_SOURCE_DIR}/README.md
          $<TARGET_FILE_DIR:hc11prog> ${CMAKE_SOURCE_DIR}/examples)
set_tests_properties(readme.simulated_target PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
