# The version is written once, as the project's version. Everything else that carries it is
# checked against it when the build is configured, so that a release cannot ship two versions:
# the bundle's Info.plist (CFBundleShortVersionString and CFBundleVersion), the Debian package's
# changelog, the AppStream metadata's newest release and the manual page's header. The program's
# --version is compiled from the project's version itself.
function(quorvel_check_version)
  set(version ${PROJECT_VERSION})
  set(problems "")

  file(READ ${PROJECT_SOURCE_DIR}/resources/Info.plist plist)
  foreach(key CFBundleShortVersionString CFBundleVersion)
    if(NOT plist MATCHES "<key>${key}</key>[ \t\r\n]*<string>([^<]*)</string>" OR
       NOT CMAKE_MATCH_1 STREQUAL version)
      string(APPEND problems "  resources/Info.plist: ${key} is '${CMAKE_MATCH_1}'\n")
    endif()
  endforeach()

  set(files
    "debian/changelog|^quorvel \\(([^)]*)\\)"
    "platform/linux/desktop/org.quorvel.Quorvel.metainfo.xml|<release version=\"([^\"]*)\""
    "platform/linux/desktop/quorvel.1|\n\\.TH QUORVEL 1 [^\n]* \"quorvel ([^\"]*)\"")
  foreach(entry IN LISTS files)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 file)
    list(GET entry 1 pattern)
    file(READ ${PROJECT_SOURCE_DIR}/${file} text)
    if(NOT text MATCHES "${pattern}" OR NOT CMAKE_MATCH_1 STREQUAL version)
      string(APPEND problems "  ${file}: '${CMAKE_MATCH_1}'\n")
    endif()
  endforeach()

  if(problems)
    message(FATAL_ERROR "The project's version is ${version}, and these say otherwise:\n"
                        "${problems}Change them with the version in CMakeLists.txt.")
  endif()
endfunction()
