# Every program besides the compiler that the build or the tests run, looked up in one place.
#
# A program that is not installed leaves its variable empty, never a *-NOTFOUND path that a
# test could try to run: the tests that need it skip themselves with the reason, or fail with
# it, as they all do under CI (CI=true), where `make test` has installed them all
# (tests/missing_tool.h, tests/missing_tool.sh). While anything is missing, the folders it would be installed into become configure
# dependencies: installing a package changes them, and the next build configures again and
# takes the new program in (the talker image check, the CPU programs, the Windows tests).

# hc11_find_tool(VAR NAME): VAR is NAME's full path, or empty when NAME is not installed.
function(hc11_find_tool var name)
  find_program(${var} ${name})
  if(NOT ${var})
    set(${var} "" PARENT_SCOPE)
    set_property(GLOBAL APPEND PROPERTY HC11_MISSING_TOOLS ${name})
  endif()
endfunction()

hc11_find_tool(SREC_CAT srec_cat)
hc11_find_tool(M68HC11_AS m68hc11-as)
hc11_find_tool(M68HC11_LD m68hc11-ld)
hc11_find_tool(M68HC11_OBJCOPY m68hc11-objcopy)
hc11_find_tool(M68HC11_OBJDUMP m68hc11-objdump)
hc11_find_tool(M68HC11_NM m68hc11-nm)
hc11_find_tool(VALGRIND valgrind)
hc11_find_tool(MINGW_CXX x86_64-w64-mingw32-g++-posix)
hc11_find_tool(MINGW_OBJDUMP x86_64-w64-mingw32-objdump)
hc11_find_tool(WINE wine)
hc11_find_tool(WINESERVER wineserver)
hc11_find_tool(WINEBOOT wineboot)
hc11_find_tool(SER2NET ser2net)

# GoogleTest is a library: without it the tests are left out, and its headers' folder is
# watched like the programs' folders.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set_property(GLOBAL APPEND PROPERTY HC11_MISSING_TOOLS GoogleTest)
endif()

get_property(HC11_MISSING_TOOLS GLOBAL PROPERTY HC11_MISSING_TOOLS)
if(HC11_MISSING_TOOLS)
  string(REPLACE ";" " " missing_text "${HC11_MISSING_TOOLS}")
  message(STATUS "Not installed (the tests that need them skip, or fail saying so): "
                 "${missing_text}")
  if(CMAKE_HOST_WIN32)
    set(search_dirs "$ENV{PATH}")
  else()
    string(REPLACE ":" ";" search_dirs "$ENV{PATH}")
  endif()
  list(APPEND search_dirs ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
  foreach(dir ${search_dirs})
    if(IS_ABSOLUTE "${dir}" AND IS_DIRECTORY "${dir}")
      set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dir})
    endif()
  endforeach()
endif()
