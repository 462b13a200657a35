# What a product built on the package ships, unless it asks otherwise: the
# uninstaller's own build. A Release build when none is named, optimised for
# size, its unused functions and data dropped at the link, and each program
# stripped, with its debug information kept beside it in PROGRAM.debug (the
# program names it, so a debugger finds it for a crash dump).
#
# A product asks otherwise by naming another build type (Debug gets none of
# this) or with -DQV_SHIP_DEFAULTS=OFF. The split applies to the programs of
# the folder that calls find_package(qvframework); qvframework_ship(TARGET)
# gives it to one made elsewhere.
option(QV_SHIP_DEFAULTS "Build programs on qvframework as it ships: Release, -Os, stripped" ON)
if(NOT QV_SHIP_DEFAULTS OR TARGET qvframework::ship)
  return()
endif()
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type (qvframework ships Release)" FORCE)
endif()

# The options ride on the framework's target, after the build type's own
# flags, so -Os wins over Release's -O3.
add_library(qvframework::ship INTERFACE IMPORTED)
set(_qv_release "$<CONFIG:Release>")
set_property(TARGET qvframework::ship PROPERTY INTERFACE_COMPILE_OPTIONS
  "$<${_qv_release}:$<$<COMPILE_LANGUAGE:C,CXX>:-Os;-g;-ffunction-sections;-fdata-sections>>")
set_property(TARGET qvframework::ship PROPERTY INTERFACE_LINK_OPTIONS
  "$<${_qv_release}:-Wl,--gc-sections>")
set_property(TARGET qvframework::qvframework APPEND PROPERTY INTERFACE_LINK_LIBRARIES
  qvframework::ship)
unset(_qv_release)

function(qvframework_ship target)
  get_target_property(type ${target} TYPE)
  get_target_property(done ${target} QV_SHIPPED)
  if(NOT type STREQUAL "EXECUTABLE" OR done OR NOT CMAKE_BUILD_TYPE STREQUAL "Release")
    return()
  endif()
  set_target_properties(${target} PROPERTIES QV_SHIPPED ON)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}> VERBATIM)
endfunction()

# At the end of the calling folder every program there is known.
function(_qvframework_ship_folder)
  get_property(targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(libs ${target} LINK_LIBRARIES)
    if("qvframework::qvframework" IN_LIST libs)
      qvframework_ship(${target})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL _qvframework_ship_folder)
