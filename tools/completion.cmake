# The bash completion of both programs, its lists taken from their usage texts once they are
# built; `make install` and the package put it where bash-completion finds each program's.
# A cross build cannot run the programs to read those texts, and goes without.
if(CMAKE_CROSSCOMPILING)
  message(STATUS "Cross build: no bash completion (it runs the programs to write it)")
else()
  include(GNUInstallDirs)
  set(HC11_COMPLETION ${CMAKE_BINARY_DIR}/completion/hc11prog)
  add_custom_command(OUTPUT ${HC11_COMPLETION}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completion
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_completion.sh $<TARGET_FILE:hc11prog>
            $<TARGET_FILE:hc11sim> ${CMAKE_CURRENT_LIST_DIR}/completion.bash.in ${HC11_COMPLETION}
    DEPENDS hc11prog hc11sim ${CMAKE_CURRENT_LIST_DIR}/make_completion.sh
            ${CMAKE_CURRENT_LIST_DIR}/completion.bash.in
    COMMENT "Writing the bash completion from the programs' usage texts"
    VERBATIM)
  add_custom_target(bash_completion ALL DEPENDS ${HC11_COMPLETION})
  foreach(program hc11prog hc11sim)
    install(FILES ${HC11_COMPLETION}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
  endforeach()
endif()
