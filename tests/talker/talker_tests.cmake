# talker_tests: the image's own conditions, and the firmware's register values and counts.
# talker_sim_tests: the talker's behaviour on the simulated chip.
get_filename_component(TALKER_TREE ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)

# A tool that is not installed reaches the tests as an empty path; they skip what needs it.
add_executable(talker_tests ${CMAKE_CURRENT_LIST_DIR}/test_talker_image.cpp)
target_link_libraries(talker_tests PRIVATE hc11talker hc11srec hc11parts GTest::gtest_main)
target_compile_definitions(talker_tests PRIVATE
  TALKER_SOURCE="${TALKER_TREE}/src/talker/talker.s"
  TALKER_LINK_SCRIPT="${TALKER_TREE}/src/talker/talker.ld"
  TALKER_TEST_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}"
  M68HC11_AS_PATH="${M68HC11_AS}"
  M68HC11_LD_PATH="${M68HC11_LD}"
  M68HC11_OBJDUMP_PATH="${M68HC11_OBJDUMP}"
  M68HC11_OBJCOPY_PATH="${M68HC11_OBJCOPY}"
  M68HC11_NM_PATH="${M68HC11_NM}"
  MAKE_TALKER_IMAGE_PATH="$<TARGET_FILE:make_talker_image>"
  SREC_CAT_PATH="${SREC_CAT}")
add_dependencies(talker_tests make_talker_image)
gtest_discover_tests(talker_tests)

if(TARGET hc11sim_core)
  add_executable(talker_sim_tests ${CMAKE_CURRENT_LIST_DIR}/test_talker_on_sim.cpp)
  target_link_libraries(talker_sim_tests PRIVATE hc11sim_core hc11talker hc11srec GTest::gtest_main)
  gtest_discover_tests(talker_sim_tests)
endif()

# The committed image must be what the generator makes of the committed talker.s: after a
# change to talker.s, build the talker_image_update target and commit the result.
if(TARGET make_talker_image AND M68HC11_AS AND M68HC11_LD AND M68HC11_OBJCOPY AND M68HC11_NM)
  set(TALKER_IMAGE_WORK ${CMAKE_CURRENT_BINARY_DIR}/talker_image)
  file(MAKE_DIRECTORY ${TALKER_IMAGE_WORK})
  add_test(NAME talker_image_regenerate
    COMMAND make_talker_image --as ${M68HC11_AS} --ld ${M68HC11_LD}
            --objcopy ${M68HC11_OBJCOPY} --nm ${M68HC11_NM} --work ${TALKER_IMAGE_WORK}
            src/talker/talker.s src/talker/talker.ld ${TALKER_IMAGE_WORK}/talker_image.cpp
    WORKING_DIRECTORY ${TALKER_TREE})
  set_tests_properties(talker_image_regenerate PROPERTIES FIXTURES_SETUP talker_image)
  add_test(NAME talker_image_matches_committed
    COMMAND sh -c "for f in talker_image.cpp talker_image.h; do diff -u \"$1/$f\" \"$2/$f\" || { echo \"$1/$f is stale: build the talker_image_update target\"; exit 1; }; done"
            sh ${TALKER_TREE}/src/talker ${TALKER_IMAGE_WORK})
  set_tests_properties(talker_image_matches_committed PROPERTIES FIXTURES_REQUIRED talker_image)
else()
  message(STATUS "m68hc11 binutils not found: the committed talker image is not checked")
endif()
