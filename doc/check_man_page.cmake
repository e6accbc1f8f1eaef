# Renders a manual page and checks it: groff reads it without a warning, `man -l` renders it,
# every expected section heading is there, the footer carries the program's version text, and
# no rendered line is wider than the 80 columns it was rendered for.
# Usage: cmake -DPAGE=<file> -DVERSION=<text> -DSECTIONS=<list> -P check_man_page.cmake

find_program(GROFF groff)
find_program(MAN man)
if(NOT GROFF OR NOT MAN)
  message(FATAL_ERROR "groff and man are needed to check ${PAGE} (Debian: groff-base, man-db)")
endif()

execute_process(COMMAND "${GROFF}" -man -ww -z "${PAGE}"
  RESULT_VARIABLE result ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff warns about ${PAGE}:\n${warnings}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E env MANWIDTH=80 LC_ALL=C "${MAN}" -l "${PAGE}"
  RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "man -l ${PAGE} failed (${result}):\n${errors}")
endif()

foreach(section IN LISTS SECTIONS)
  string(FIND "${text}" "\n${section}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE}: no section ${section} in the rendered page:\n${text}")
  endif()
endforeach()

string(REGEX MATCH "\n[^\n]*kzt_fid ${VERSION} [^\n]*\n*$" footer "${text}")
if(footer STREQUAL "")
  message(FATAL_ERROR "${PAGE}: the footer does not carry the version text ${VERSION}")
endif()

string(REPLACE ";" "," text "${text}")
string(REPLACE "\n" ";" lines "${text}")
foreach(line IN LISTS lines)
  string(LENGTH "${line}" width)
  if(width GREATER 80)
    message(FATAL_ERROR "${PAGE}: rendered line wider than 80 columns:\n${line}")
  endif()
endforeach()
