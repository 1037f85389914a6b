# The AppKit adapter read by clang against GNUstep's AppKit and Foundation headers: syntax and
# types only, with ARC; nothing is linked or run. Included from CMakeLists.txt on Linux.
#
# Debian's GNUstep is built with GCC's Objective-C runtime, whose headers (libobjc-12-dev) clang
# reads as well. Two things are papered over, and nothing else:
#   - GCC's objc/runtime.h defines object_getClass inline by reading id->class_pointer, which
#     clang refuses for its built-in id. A copy of that header with the one line cast through
#     struct objc_object* (and its quoted includes made <objc/...>, so that they still resolve)
#     is put first on the include path.
#   - gnustep/quorvel_gnustep_compat.h declares what Apple's SDK has and GNUstep's lacks.
# GNUstep's headers are read as for a modern runtime (-fobjc-runtime=gnustep-2.0), which ARC
# needs; clang refuses ARC for GCC's runtime.

find_program(QUORVEL_OBJC_CLANG NAMES clang++ clang++-16 clang++-15 clang++-14)
find_path(QUORVEL_GNUSTEP_INCLUDE_DIR AppKit/AppKit.h
          PATHS /usr/include/GNUstep /usr/local/include/GNUstep /usr/GNUstep/System/Library/Headers)

# GCC's Objective-C headers: those of the gcc on the path, else the newest installed.
set(objc_include_dir "")
find_program(QUORVEL_GCC gcc)
if(QUORVEL_GCC)
  execute_process(COMMAND ${QUORVEL_GCC} -print-file-name=include OUTPUT_VARIABLE gcc_include
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(EXISTS "${gcc_include}/objc/runtime.h")
    set(objc_include_dir ${gcc_include})
  endif()
endif()
if(NOT objc_include_dir)
  file(GLOB runtimes /usr/lib/gcc/*/*/include/objc/runtime.h)
  list(SORT runtimes COMPARE NATURAL ORDER DESCENDING)
  if(runtimes)
    list(GET runtimes 0 runtime)
    cmake_path(GET runtime PARENT_PATH objc_dir)
    cmake_path(GET objc_dir PARENT_PATH objc_include_dir)
  endif()
endif()

if(NOT QUORVEL_OBJC_CLANG)
  quorvel_missing_tool_test(macos.appkit_port.syntax "clang is not installed")
  return()
endif()
if(NOT QUORVEL_GNUSTEP_INCLUDE_DIR)
  quorvel_missing_tool_test(macos.appkit_port.syntax "GNUstep's headers (libgnustep-gui-dev) are not installed")
  return()
endif()
if(NOT objc_include_dir)
  quorvel_missing_tool_test(macos.appkit_port.syntax "GCC's Objective-C headers (libobjc-12-dev) are not installed")
  return()
endif()

# The copy of objc/runtime.h, rewritten only when its content changes.
set(compat_include_dir ${CMAKE_CURRENT_BINARY_DIR}/objc-compat)
file(READ ${objc_include_dir}/objc/runtime.h runtime_h)
string(REPLACE "return object->class_pointer;"
               "return ((struct objc_object*)(__bridge void*)object)->class_pointer;"
               patched_runtime_h "${runtime_h}")
string(REGEX REPLACE "#include \"([A-Za-z-]+\\.h)\"" "#include <objc/\\1>" patched_runtime_h
                     "${patched_runtime_h}")
set(old_patched_runtime_h "")
if(EXISTS ${compat_include_dir}/objc/runtime.h)
  file(READ ${compat_include_dir}/objc/runtime.h old_patched_runtime_h)
endif()
if(NOT patched_runtime_h STREQUAL old_patched_runtime_h)
  file(WRITE ${compat_include_dir}/objc/runtime.h "${patched_runtime_h}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${objc_include_dir}/objc/runtime.h)

# The adapter sees what the program's targets give it: the display side's and the port's headers.
set(adapter_includes "")
foreach(target quorvel_app quorvel_app_title quorvel_port)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  list(TRANSFORM dirs PREPEND -I)
  list(APPEND adapter_includes ${dirs})
endforeach()

set(objc_syntax_check
  ${QUORVEL_OBJC_CLANG} -std=c++20 -fsyntax-only -x objective-c++
  -fobjc-runtime=gnustep-2.0 -fobjc-arc
  -Wall -Wextra -Wpedantic -Werror
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1
  ${adapter_includes}
  -isystem ${compat_include_dir} -isystem ${QUORVEL_GNUSTEP_INCLUDE_DIR}
  -isystem ${objc_include_dir}
  -include ${CMAKE_CURRENT_SOURCE_DIR}/gnustep/quorvel_gnustep_compat.h)

add_test(NAME macos.appkit_port.syntax COMMAND ${objc_syntax_check} ${adapter})

# The check must see a selector AppKit lacks and a retain count managed by hand.
add_test(NAME macos.appkit_port.syntax.rejects_unknown_selector
         COMMAND ${objc_syntax_check} ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/unknown_selector.mm)
set_tests_properties(macos.appkit_port.syntax.rejects_unknown_selector PROPERTIES
  PASS_REGULAR_EXPRESSION "no visible @interface for 'NSStatusItem' declares the selector 'setTitel:'")
add_test(NAME macos.appkit_port.syntax.rejects_manual_release
         COMMAND ${objc_syntax_check} ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/manual_release.mm)
set_tests_properties(macos.appkit_port.syntax.rejects_manual_release PROPERTIES
  PASS_REGULAR_EXPRESSION "ARC forbids explicit message send of 'release'")
quorvel_label_tests(gnustep macos.appkit_port.syntax macos.appkit_port.syntax.rejects_unknown_selector
                    macos.appkit_port.syntax.rejects_manual_release)
