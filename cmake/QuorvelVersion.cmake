# The version is written once, as the project's version. Everything else that carries it is
# checked against it when the build is configured, so that a release cannot ship two versions:
# the bundle's Info.plist (CFBundleShortVersionString and CFBundleVersion), the Debian package's
# changelog, the AppStream metadata's newest release and the manual page's header. The program's
# --version is compiled from the project's version itself.
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

# quorvel_version_problems(SOURCE_DIR VERSION OUT): a line for each file in SOURCE_DIR that says
# another version than VERSION; empty when none does.
function(quorvel_version_problems source version out)
  set(problems "")
  file(READ ${source}/resources/Info.plist plist)
  foreach(key CFBundleShortVersionString CFBundleVersion)
    if(NOT plist MATCHES "<key>${key}</key>[ \t\r\n]*<string>([^<]*)</string>" OR
       NOT CMAKE_MATCH_1 STREQUAL version)
      string(APPEND problems "  resources/Info.plist: ${key} is '${CMAKE_MATCH_1}'\n")
    endif()
  endforeach()

  set(files
    "debian/changelog|^quorvel \\(([^)]*)\\)|debian"
    "platform/linux/desktop/org.quorvel.Quorvel.metainfo.xml|<release version=\"([^\"]*)\"|"
    "platform/linux/desktop/quorvel.1|\n\\.TH QUORVEL 1 [^\n]* \"quorvel ([^\"]*)\"|")
  foreach(entry IN LISTS files)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 file)
    list(GET entry 1 pattern)
    list(GET entry 2 kind)
    file(READ ${source}/${file} text)
    set(found "")
    if(text MATCHES "${pattern}")
      set(found "${CMAKE_MATCH_1}")
    endif()
    set(compared "${found}")
    if(kind STREQUAL "debian")
      quorvel_debian_upstream_version("${found}" compared)
    endif()
    if(NOT compared STREQUAL version)
      string(APPEND problems "  ${file}: '${found}'\n")
    endif()
  endforeach()
  set(${out} "${problems}" PARENT_SCOPE)
endfunction()

function(quorvel_check_version)
  quorvel_version_problems(${PROJECT_SOURCE_DIR} ${PROJECT_VERSION} problems)
  if(problems)
    message(FATAL_ERROR "The project's version is ${PROJECT_VERSION}, and these say otherwise:\n"
                        "${problems}Change them with the version in CMakeLists.txt.")
  endif()
endfunction()
