# The version is written once, as the project's version. The files that carry it besides the
# program's --version (compiled from it) are made from templates when the build is configured
# (quorvel_make_versioned_files): the bundle's Info.plist (CFBundleShortVersionString and
# CFBundleVersion), the AppStream metadata's newest release and the manual page's header. The
# Debian package's changelog, which dpkg reads from the source, is checked against it instead, so
# that a release cannot ship two versions.
#
# The Debian changelog carries Debian's version of the package, whose upstream part is the
# project's: an epoch ("1:"), a Debian revision ("-1"), and for this native package a rebuild's
# suffix (a binNMU "+b1", a stable update "+deb12u1", a backport "~bpo12+1") do not make it
# another release.

# quorvel_debian_upstream_version(VERSION OUT): the upstream part of the Debian version VERSION.
function(quorvel_debian_upstream_version version out)
  string(REGEX REPLACE "^[0-9]+:" "" upstream "${version}")
  if(upstream MATCHES "^(.*)-[^-]*$")
    set(upstream "${CMAKE_MATCH_1}")
  else()
    string(REGEX REPLACE "(\\+b[0-9]+|[+~]deb[0-9]+u[0-9]+|~bpo[0-9]+\\+[0-9]+)+$" "" upstream
                         "${upstream}")
  endif()
  set(${out} "${upstream}" PARENT_SCOPE)
endfunction()

# quorvel_version_problems(SOURCE_DIR VERSION OUT): a line when the Debian changelog in
# SOURCE_DIR says another version than VERSION; empty when it does not.
function(quorvel_version_problems source version out)
  set(problems "")
  file(READ ${source}/debian/changelog changelog)
  set(found "")
  if(changelog MATCHES "^quorvel \\(([^)]*)\\)")
    set(found "${CMAKE_MATCH_1}")
  endif()
  quorvel_debian_upstream_version("${found}" upstream)
  if(NOT upstream STREQUAL version)
    set(problems "  debian/changelog: '${found}'\n")
  endif()
  set(${out} "${problems}" PARENT_SCOPE)
endfunction()

function(quorvel_check_version)
  quorvel_version_problems(${PROJECT_SOURCE_DIR} ${PROJECT_VERSION} problems)
  if(problems)
    message(FATAL_ERROR "The project's version is ${PROJECT_VERSION}, and these say otherwise:\n"
                        "${problems}Change them with the version in CMakeLists.txt.")
  endif()
endfunction()

# quorvel_make_versioned_files(): the files that carry the project's version, made in the build
# tree from their templates (<file>.in beside where <file> would be), each named by a variable:
#   QUORVEL_INFO_PLIST  resources/Info.plist, the bundle's on macOS and Linux
#   QUORVEL_METAINFO    platform/linux/desktop/org.quorvel.Quorvel.metainfo.xml
#   QUORVEL_MANUAL      platform/linux/desktop/quorvel.1
function(quorvel_make_versioned_files)
  foreach(entry "QUORVEL_INFO_PLIST|resources/Info.plist"
                "QUORVEL_METAINFO|platform/linux/desktop/org.quorvel.Quorvel.metainfo.xml"
                "QUORVEL_MANUAL|platform/linux/desktop/quorvel.1")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 variable)
    list(GET entry 1 file)
    configure_file(${PROJECT_SOURCE_DIR}/${file}.in ${PROJECT_BINARY_DIR}/${file} @ONLY)
    set(${variable} ${PROJECT_BINARY_DIR}/${file} PARENT_SCOPE)
  endforeach()
endfunction()
