# The input image's fixtures, made by the toolchain a user has: image_fixtures/two_sections.s
# assembled once and linked at $F800 (code, with .data loaded after it; the first segment
# starts with the file's headers at $F000) and at $2000 (at_2000.ld: one segment over both
# sections and the gap between them). Each as ELF, as S19 (objcopy -O srec), as Intel HEX
# from objcopy -O ihex (NAME.ihx) and from srec_cat -intel (NAME.hex). Without the tools the
# tests that need them skip themselves.
set(IMAGE_FIXTURE_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/image_fixtures)
set(IMAGE_FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/image_fixtures)

if(NOT (M68HC11_AS AND M68HC11_LD AND M68HC11_OBJCOPY AND SREC_CAT))
  return()
endif()

set(object ${IMAGE_FIXTURE_DIR}/two_sections.o)
add_custom_command(
  OUTPUT ${object}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${IMAGE_FIXTURE_DIR}
  COMMAND ${M68HC11_AS} -o ${object} ${IMAGE_FIXTURE_SOURCE_DIR}/two_sections.s
  DEPENDS ${IMAGE_FIXTURE_SOURCE_DIR}/two_sections.s
  VERBATIM)

# Links the object with LINK_OPTIONS into DIR/NAME.elf, .s19, .ihx and .hex.
function(hc11_image_fixture name outputs_var)
  set(base ${IMAGE_FIXTURE_DIR}/${name})
  add_custom_command(
    OUTPUT ${base}.elf ${base}.s19 ${base}.ihx ${base}.hex
    COMMAND ${M68HC11_LD} --no-warn-rwx-segments ${ARGN} -o ${base}.elf ${object}
    COMMAND ${M68HC11_OBJCOPY} -O srec ${base}.elf ${base}.s19
    COMMAND ${M68HC11_OBJCOPY} -O ihex ${base}.elf ${base}.ihx
    COMMAND ${SREC_CAT} ${base}.s19 -o ${base}.hex -intel
    DEPENDS ${object} ${IMAGE_FIXTURE_SOURCE_DIR}/at_2000.ld
    COMMENT "Linking the image fixture ${name}"
    VERBATIM)
  set(${outputs_var} ${${outputs_var}} ${base}.elf ${base}.s19 ${base}.ihx ${base}.hex
      PARENT_SCOPE)
endfunction()

set(IMAGE_FIXTURE_OUTPUTS)
hc11_image_fixture(at_f800 IMAGE_FIXTURE_OUTPUTS -Ttext 0xF800 -Tdata 0x1100)
hc11_image_fixture(at_2000 IMAGE_FIXTURE_OUTPUTS -T ${IMAGE_FIXTURE_SOURCE_DIR}/at_2000.ld)
add_custom_target(image_fixtures DEPENDS ${IMAGE_FIXTURE_OUTPUTS})
add_dependencies(host_tests image_fixtures)
target_compile_definitions(host_tests PRIVATE IMAGE_FIXTURE_DIR="${IMAGE_FIXTURE_DIR}")
