# The talker image generator: assembles src/talker/talker.s and writes the TalkerImage table.
add_executable(make_talker_image ${CMAKE_CURRENT_LIST_DIR}/make_talker_image.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/talker_stack.cpp)
target_link_libraries(make_talker_image PRIVATE hc11srec)

# `cmake --build <dir> --target talker_image_update` rewrites the committed image and its
# header in the source tree after a change to talker.s; tests/talker checks that they agree.
get_filename_component(TALKER_TREE ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(M68HC11_AS AND M68HC11_LD AND M68HC11_OBJCOPY AND M68HC11_NM)
  set(TALKER_WORK_DIR ${CMAKE_BINARY_DIR}/talker_update)
  add_custom_target(talker_image_update
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TALKER_WORK_DIR}
    COMMAND make_talker_image --as ${M68HC11_AS} --ld ${M68HC11_LD} --objcopy ${M68HC11_OBJCOPY}
            --nm ${M68HC11_NM} --work ${TALKER_WORK_DIR}
            src/talker/talker.s src/talker/talker.ld src/talker/talker_image.cpp
    WORKING_DIRECTORY ${TALKER_TREE}
    COMMENT "Regenerating src/talker/talker_image.cpp and talker_image.h from talker.s"
    VERBATIM)
  # Every build that changes talker.s runs the generator once more, into the build tree: it
  # prints the deepest stack and its margin, and a talker whose code or stack does not fit
  # fails the build.
  set(TALKER_CHECK_DIR ${CMAKE_BINARY_DIR}/talker_check)
  add_custom_command(OUTPUT ${TALKER_CHECK_DIR}/talker_image.cpp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TALKER_CHECK_DIR}
    COMMAND make_talker_image --as ${M68HC11_AS} --ld ${M68HC11_LD} --objcopy ${M68HC11_OBJCOPY}
            --nm ${M68HC11_NM} --work ${TALKER_CHECK_DIR}
            src/talker/talker.s src/talker/talker.ld ${TALKER_CHECK_DIR}/talker_image.cpp
    DEPENDS make_talker_image ${TALKER_TREE}/src/talker/talker.s ${TALKER_TREE}/src/talker/talker.ld
    WORKING_DIRECTORY ${TALKER_TREE}
    COMMENT "Checking the talker's layout and stack"
    VERBATIM)
  add_custom_target(talker_layout_check ALL DEPENDS ${TALKER_CHECK_DIR}/talker_image.cpp)
endif()
