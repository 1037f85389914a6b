# The configure step's check of the version that the Debian changelog carries, over a table of
# Debian versions: rebuilds and revisions of the project's version pass, another version fails.
# Usage: cmake -DSOURCE=<project folder> -DWORK=<empty folder> -P version_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${SOURCE}/cmake/QuorvelVersion.cmake)

# The project's version, as CMakeLists.txt gives it.
file(READ ${SOURCE}/CMakeLists.txt project)
string(REGEX MATCH "project\\(Quorvel VERSION ([0-9.]+)" _ "${project}")
set(version ${CMAKE_MATCH_1})

# changelog version | passes
set(table
  "${version}|yes"                  # as released
  "${version}+b1|yes"               # a binNMU
  "${version}+deb12u1|yes"          # a stable update
  "${version}~deb12u2|yes"
  "${version}~bpo12+1|yes"          # a backport
  "${version}-1|yes"                # a Debian revision
  "${version}-1+b2|yes"
  "${version}-2+deb12u1|yes"
  "1:${version}|yes"                # an epoch
  "2:${version}-1+b1|yes"
  "${version}.1|no"                 # another upstream version, however it is rebuilt
  "${version}.1+b1|no"
  "9.9.9+deb12u1|no"
  "1:9.9.9-1|no"
  "${version}+dfsg|no"              # a repacked upstream is not a rebuild
  "${version}b1|no"
  "|no")

file(READ ${SOURCE}/debian/changelog changelog)
string(REGEX REPLACE "^quorvel \\([^)]*\\)" "quorvel (@VERSION@)" changelog "${changelog}")

set(failures "")
foreach(row IN LISTS table)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 debian)
  list(GET row 1 passes)
  string(REPLACE "@VERSION@" "${debian}" text "${changelog}")
  file(WRITE ${WORK}/debian/changelog "${text}")
  quorvel_version_problems(${WORK} ${version} problems)
  if(passes STREQUAL "yes" AND problems)
    string(APPEND failures "  '${debian}' is refused:\n${problems}")
  elseif(passes STREQUAL "no" AND NOT problems)
    string(APPEND failures "  '${debian}' is taken for ${version}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The changelog's version is checked wrongly:\n${failures}")
endif()
list(LENGTH table rows)
message(STATUS "${rows} Debian versions checked against ${version}")
