# quorvel_add_iokit_standin(NAME): the IOKit stand-in as a static library: IOKit's user-client
# calls over a small handle table, the "AppleSMC" service, and the CPU temperature sensor in sysfs
# behind it. It uses only the header-only parts of smc/smc_block.h (the block's layout, its
# constants and encodeSmcKey). Linux builds the program on it; macOS builds only the tests on it,
# so that they read test doubles instead of the machine's SMC.
set(QUORVEL_IOKIT_STANDIN_DIR ${CMAKE_CURRENT_LIST_DIR})

function(quorvel_add_iokit_standin name)
  set(dir ${QUORVEL_IOKIT_STANDIN_DIR})
  add_library(${name} STATIC
    ${dir}/iokit_lib.cpp
    ${dir}/handle_table.cpp
    ${dir}/apple_smc_service.cpp
    ${dir}/sensor_text.cpp
    ${dir}/sysfs_search.cpp
    ${dir}/sysfs_sensor.cpp)
  # BEFORE: on macOS these declarations must win over the SDK's own IOKit headers.
  target_include_directories(${name} BEFORE
    PUBLIC ${dir}/../include
    PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE quorvel_warnings)
endfunction()
