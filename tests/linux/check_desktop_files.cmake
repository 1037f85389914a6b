# Checks the files that install the program on a Linux desktop against the program itself:
#   - the manual page describes every option that "PROGRAM HELP_OPTION" prints (written in roff,
#     each "-" of an option as "\-"), and names none that it does not print;
#   - the manual page's header and the AppStream metadata's newest release carry VERSION.
# Usage: cmake -DPROGRAM=... -DHELP_OPTION=--help -DMANUAL=quorvel.1 -DMETAINFO=...xml
#              -DVERSION=x.y.z -P check_desktop_files.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${PROGRAM} ${HELP_OPTION} OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${HELP_OPTION} exited with ${status}")
endif()
string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
list(REMOVE_DUPLICATES options)
if(NOT options)
  message(FATAL_ERROR "${PROGRAM} ${HELP_OPTION} printed no option:\n${help}")
endif()

file(READ ${MANUAL} manual)
set(problems "")
foreach(option IN LISTS options)
  string(REPLACE "-" "\\-" roff "${option}")
  string(FIND "${manual}" "${roff}" at)
  if(at EQUAL -1)
    string(APPEND problems "  the manual page does not describe ${option}\n")
  endif()
endforeach()

string(REGEX MATCHALL "\\\\-\\\\-[a-z][a-z\\\\-]*" described "${manual}")
list(REMOVE_DUPLICATES described)
foreach(roff IN LISTS described)
  string(REPLACE "\\-" "-" option "${roff}")
  if(NOT option IN_LIST options)
    string(APPEND problems "  the manual page describes ${option}, which --help does not list\n")
  endif()
endforeach()

if(NOT manual MATCHES "\n\\.TH QUORVEL 1 [^\n]* \"quorvel ${VERSION}\"")
  string(APPEND problems "  the manual page's .TH line does not name quorvel ${VERSION}\n")
endif()
file(READ ${METAINFO} metainfo)
if(NOT metainfo MATCHES "<release version=\"([^\"]*)\"" OR NOT CMAKE_MATCH_1 STREQUAL VERSION)
  string(APPEND problems "  the metainfo's newest release is '${CMAKE_MATCH_1}', not ${VERSION}\n")
endif()

if(problems)
  message(FATAL_ERROR "Desktop files out of step with the program:\n${problems}")
endif()
list(JOIN options " " listed)
message(STATUS "The manual page describes ${listed}; version ${VERSION}")
