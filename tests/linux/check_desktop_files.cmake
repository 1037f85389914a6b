# Checks the files that install the program on a Linux desktop against the program itself:
#   - the manual page describes every option that "PROGRAM HELP_OPTION" prints (written in roff,
#     each "-" of an option as "\-"), and names none that it does not print;
#   - the manual page's OPTIONS section has an entry for each row of --help ("--sensor=NAME",
#     "--status-bar=line") and no other: the two tables say the same options in the same forms.
# (The version in the manual page and the metadata is the project's, put in when the build is
# configured.)
# Usage: cmake -DPROGRAM=... -DHELP_OPTION=--help -DMANUAL=quorvel.1 -P check_desktop_files.cmake
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

# The rows of --help: an option, as typed, at the start of a line indented by two spaces.
string(REGEX MATCHALL "\n  --[a-z][a-z-]*(=[A-Z]+|=[a-z]+)?" rows "\n${help}")
list(TRANSFORM rows REPLACE "^\n  " "")
# The entries of OPTIONS: the tag after each .TP, up to its first comma, roff taken away (a tag
# goes on over the next line after "\c").
string(REGEX MATCH "\n\\.SH OPTIONS\n(.*)" _ "${manual}")
string(REGEX REPLACE "\n\\.SH .*" "" section "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\\\\c\n\\.[A-Z]+ " "" section "${section}")
string(REGEX MATCHALL "\\.TP\n[^\n]*" tags "${section}")
set(entries "")
foreach(tag IN LISTS tags)
  string(REGEX REPLACE "^\\.TP\n(\\.[A-Z]+ )?" "" tag "${tag}")
  string(REPLACE "\\-" "-" tag "${tag}")
  string(REGEX REPLACE "[\" ,].*" "" tag "${tag}")
  list(APPEND entries "${tag}")
endforeach()
foreach(row IN LISTS rows)
  if(NOT row IN_LIST entries)
    string(APPEND problems "  the manual page's OPTIONS has no entry for ${row}\n")
  endif()
endforeach()
foreach(entry IN LISTS entries)
  if(NOT entry IN_LIST rows)
    string(APPEND problems "  the manual page's OPTIONS has ${entry}, which --help has no row for\n")
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "Desktop files out of step with the program:\n${problems}")
endif()
list(JOIN entries " " listed)
message(STATUS "The manual page's OPTIONS: ${listed}")
