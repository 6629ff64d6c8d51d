# CPU test programs and the speed benchmark.
#
# Each cpu_programs/*.s is assembled, linked at the addresses of cpu_programs.ld and written as
# S19 with its symbol list (NAME.s19, NAME.sym) in the build tree; sim_tests finds them through
# CPU_PROGRAM_DIR. Without the 68HC11 binutils the program tests skip themselves.
#
# sim_speed (bench/sim_speed) runs the CPU-bound loop of bench/sim_speed/speed_loop.s through
# Cpu::step and prints the simulated E cycles per second.
set(CPU_PROGRAM_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/cpu_programs)
set(CPU_PROGRAM_DIR ${CMAKE_CURRENT_BINARY_DIR}/cpu_programs)
set(CPU_PROGRAM_LINK_SCRIPT ${CPU_PROGRAM_SOURCE_DIR}/cpu_programs.ld)
set(SIM_SPEED_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../../bench/sim_speed)

# Assembles SOURCE into DIR/NAME.s19 and DIR/NAME.sym; appends the outputs to OUTPUTS_VAR.
function(hc11_assemble_program SOURCE DIR OUTPUTS_VAR)
  get_filename_component(name ${SOURCE} NAME_WE)
  set(base ${DIR}/${name})
  add_custom_command(
    OUTPUT ${base}.s19 ${base}.sym
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DIR}
    COMMAND ${M68HC11_AS} -o ${base}.o ${SOURCE}
    COMMAND ${M68HC11_LD} -T ${CPU_PROGRAM_LINK_SCRIPT} -o ${base}.elf ${base}.o
    COMMAND ${M68HC11_OBJCOPY} -O srec ${base}.elf ${base}.s19
    COMMAND ${M68HC11_NM} ${base}.elf > ${base}.sym
    DEPENDS ${SOURCE} ${CPU_PROGRAM_LINK_SCRIPT}
    COMMENT "Assembling ${name}.s"
    VERBATIM)
  set(${OUTPUTS_VAR} ${${OUTPUTS_VAR}} ${base}.s19 ${base}.sym PARENT_SCOPE)
endfunction()

if(M68HC11_AS AND M68HC11_LD AND M68HC11_OBJCOPY AND M68HC11_NM)
  file(GLOB CPU_PROGRAM_SOURCES CONFIGURE_DEPENDS ${CPU_PROGRAM_SOURCE_DIR}/*.s)
  set(CPU_PROGRAM_OUTPUTS)
  foreach(source ${CPU_PROGRAM_SOURCES})
    hc11_assemble_program(${source} ${CPU_PROGRAM_DIR} CPU_PROGRAM_OUTPUTS)
  endforeach()
  add_custom_target(cpu_programs DEPENDS ${CPU_PROGRAM_OUTPUTS})
  add_dependencies(sim_tests cpu_programs)
  target_compile_definitions(sim_tests PRIVATE CPU_PROGRAM_DIR="${CPU_PROGRAM_DIR}")

  set(SIM_SPEED_OUTPUTS)
  hc11_assemble_program(${SIM_SPEED_SOURCE_DIR}/speed_loop.s ${CMAKE_CURRENT_BINARY_DIR}/speed_loop
                        SIM_SPEED_OUTPUTS)
  add_custom_target(sim_speed_loop DEPENDS ${SIM_SPEED_OUTPUTS})
  add_executable(sim_speed ${SIM_SPEED_SOURCE_DIR}/sim_speed.cpp)
  target_link_libraries(sim_speed PRIVATE hc11sim_core)
  target_compile_options(sim_speed PRIVATE $<$<NOT:$<CONFIG:Debug>>:-O2>)
  target_compile_definitions(sim_speed PRIVATE
    SPEED_LOOP_S19="${CMAKE_CURRENT_BINARY_DIR}/speed_loop/speed_loop.s19")
  add_dependencies(sim_speed sim_speed_loop)
endif()

# The decode-length check against the disassembler runs the tools itself.
if(M68HC11_AS AND M68HC11_OBJDUMP)
  target_compile_definitions(sim_tests PRIVATE M68HC11_AS_PATH="${M68HC11_AS}"
                                               M68HC11_OBJDUMP_PATH="${M68HC11_OBJDUMP}")
endif()
