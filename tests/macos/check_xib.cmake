# Checks the main interface against the AppKit adapter, in CMake's script mode:
#   cmake -DXMLLINT=... -DXIB=MainMenu.xib -DADAPTER=appkit_port.mm -P check_xib.cmake
# The document must be well-formed Interface Builder XML that holds one application delegate,
# of a class the adapter declares and implements, connected as NSApplication's delegate outlet,
# and nothing else: no menu, no window.

foreach(variable XMLLINT XIB ADAPTER)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_xib.cmake needs -D${variable}=...")
  endif()
endforeach()

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

# The result of an XPath 1.0 expression that yields a string or a number.
function(xpath out expression)
  execute_process(COMMAND ${XMLLINT} --xpath "${expression}" ${XIB}
                  OUTPUT_VARIABLE value ERROR_VARIABLE error RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "xmllint --xpath '${expression}' failed (${status}): ${error}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${XMLLINT} --noout ${XIB} RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${XIB}:\n  not well-formed XML\n${error}")
endif()

xpath(type "string(/document/@type)")
if(NOT type STREQUAL "com.apple.InterfaceBuilder3.Cocoa.XIB")
  fail("the document's type is '${type}', not com.apple.InterfaceBuilder3.Cocoa.XIB")
endif()
xpath(runtime "string(/document/@targetRuntime)")
if(NOT runtime STREQUAL "MacOSX.Cocoa")
  fail("the document's target runtime is '${runtime}', not MacOSX.Cocoa")
endif()

xpath(duplicates "count(//*[@id][@id = preceding::*/@id or @id = ancestor::*/@id])")
if(NOT duplicates EQUAL 0)
  fail("${duplicates} objects reuse an id that an earlier object has")
endif()

xpath(owners "count(/document/objects/customObject[@id='-2'][@customClass='NSApplication'])")
if(NOT owners EQUAL 1)
  fail("File's Owner (id -2) is not one NSApplication")
endif()

xpath(outlets "count(//outlet[@property='delegate'])")
xpath(destination
      "string(/document/objects/customObject[@id='-2']/connections/outlet[@property='delegate']/@destination)")
if(NOT outlets EQUAL 1 OR destination STREQUAL "")
  fail("there must be exactly one delegate outlet, from File's Owner; found ${outlets}")
else()
  xpath(class "string(/document/objects/*[@id='${destination}']/@customClass)")
  xpath(element "name(/document/objects/*[@id='${destination}'])")
  if(NOT element STREQUAL "customObject" OR class STREQUAL "")
    fail("the delegate outlet leads to '${destination}', which is no top-level custom object")
  else()
    xpath(instances "count(//*[@customClass='${class}'])")
    if(NOT instances EQUAL 1)
      fail("${instances} objects of class ${class}: the application has one delegate")
    endif()
    file(READ ${ADAPTER} adapter)
    if(NOT adapter MATCHES "\n@interface ${class} *: *NSObject *<[^>\n]*NSApplicationDelegate")
      fail("${ADAPTER} declares no '@interface ${class} : NSObject <NSApplicationDelegate>'")
    endif()
    if(NOT adapter MATCHES "\n@implementation ${class}[ \n{]")
      fail("${ADAPTER} has no '@implementation ${class}'")
    endif()
  endif()
endif()

xpath(interface "count(//menu | //window | //view | //menuItem)")
if(NOT interface EQUAL 0)
  fail("the main interface holds ${interface} menus, windows or views; it must hold none")
endif()

if(failures)
  message(FATAL_ERROR "${XIB}:${failures}")
endif()
message(STATUS "${XIB}: the delegate ${class} is NSApplication's, and declared in ${ADAPTER}")
