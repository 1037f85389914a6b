# The AppKit adapter built and run against GNUstep (Linux): the same source as on the Mac, compiled
# without ARC, which GCC's Objective-C runtime (Debian's GNUstep is built on it) does not have.
# Included from CMakeLists.txt after gnustep_headers.cmake, whose findings it uses.
#
#   quorvel_appkit_gnustep  the adapter without ARC, on GNUstep's AppKit and Foundation
#   quorvel_gnustep         the program: the entry, the adapter, the display and sensor sides over
#                           the IOKit stand-in (SYSFS_PATH), and the menu-bar double
#                           (gnustep/recording_status_bar.mm), which only test programs link
#   macos_appkit_port_run_test  runs that program in its GNUstep bundle under Xvfb

find_library(QUORVEL_GNUSTEP_GUI gnustep-gui)
find_library(QUORVEL_GNUSTEP_BASE gnustep-base)
find_program(QUORVEL_XVFB Xvfb)
find_program(QUORVEL_GDNC gdnc)
file(GLOB gnustep_backend /usr/lib/GNUstep/Bundles/libgnustep-back-*.bundle)
set(missing "")
foreach(need QUORVEL_OBJC_CLANG QUORVEL_GNUSTEP_INCLUDE_DIR objc_include_dir QUORVEL_GNUSTEP_GUI
             QUORVEL_GNUSTEP_BASE QUORVEL_XVFB QUORVEL_GDNC gnustep_backend)
  if(NOT ${need})
    list(APPEND missing ${need})
  endif()
endforeach()
if(missing)
  string(JOIN ", " missing ${missing})
  quorvel_missing_tool_test(macos.appkit_port.run "${missing} not found (clang, libgnustep-gui-dev,\
 libobjc-12-dev, xvfb and gnustep-back0.29-cairo bring them)")
  return()
endif()

set(CMAKE_OBJCXX_COMPILER ${QUORVEL_OBJC_CLANG})
enable_language(OBJCXX)

# What Objective-C++ against GNUstep needs, as gnustep-config --objc-flags gives it, on GCC's
# runtime; the compatibility header declares what Apple's SDK has and GNUstep's lacks.
add_library(quorvel_gnustep_objc INTERFACE)
target_compile_options(quorvel_gnustep_objc INTERFACE
  -fobjc-runtime=gcc -fobjc-exceptions -fconstant-string-class=NSConstantString
  -include ${CMAKE_CURRENT_SOURCE_DIR}/gnustep/quorvel_gnustep_compat.h)
target_compile_definitions(quorvel_gnustep_objc INTERFACE
  GNUSTEP GNUSTEP_BASE_LIBRARY=1 GNU_GUI_LIBRARY=1 GNU_RUNTIME=1 _NATIVE_OBJC_EXCEPTIONS)
target_include_directories(quorvel_gnustep_objc SYSTEM INTERFACE
  ${QUORVEL_GNUSTEP_INCLUDE_DIR} ${objc_include_dir})
target_link_libraries(quorvel_gnustep_objc INTERFACE
  ${QUORVEL_GNUSTEP_GUI} ${QUORVEL_GNUSTEP_BASE} objc)

add_library(quorvel_appkit_gnustep STATIC ${adapter})
target_link_libraries(quorvel_appkit_gnustep
  PUBLIC quorvel_port quorvel_gnustep_objc
  PRIVATE quorvel_app quorvel_warnings)

# The menu-bar double's class loads itself (+load): linked as an object, never from an archive.
add_library(quorvel_gnustep_status_bar_double OBJECT gnustep/recording_status_bar.mm)
target_link_libraries(quorvel_gnustep_status_bar_double PRIVATE quorvel_gnustep_objc
                                                                quorvel_warnings)

add_executable(quorvel_gnustep)
target_link_libraries(quorvel_gnustep PRIVATE
  quorvel_entry quorvel_gnustep_status_bar_double quorvel_appkit_gnustep)

quorvel_add_test(macos_appkit_port_run_test PREFIX macos.appkit_port.run. LABEL gnustep
                 SOURCES appkit_port_run_test.cpp LIBS quorvel_test_process)
add_dependencies(macos_appkit_port_run_test quorvel_gnustep)
target_compile_definitions(macos_appkit_port_run_test PRIVATE
  QUORVEL_PROGRAM="$<TARGET_FILE:quorvel_gnustep>" QUORVEL_RESOURCES="${resources}"
  QUORVEL_INFO_PLIST="${QUORVEL_INFO_PLIST}")
