# Project helpers.

# orv_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [TIMEOUT s] [NO_MAIN] [LABELS ...])
# A GoogleTest program for the target, run by ctest through Wine.
function(orv_add_test)
  cmake_parse_arguments(T "NO_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} dep_gmock dep_gtest)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} dep_gmock dep_gtest_main)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# Marks targets whose sources are our own: warnings are errors there in CI builds.
function(orv_strict target)
  if(ORV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Includes the fragments of the calling folder: each component describes its own targets in
# <component>.cmake there, and its tests in tests/<component>.cmake (only when tests are built),
# in sorted order. A macro, so that a fragment's variables live in the folder's scope as if the
# fragment were written in the folder's CMakeLists.txt.
macro(orv_folder_fragments)
  file(GLOB _orv_fragments CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cmake")
  if(ORV_BUILD_TESTS)
    file(GLOB _orv_test_fragments CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cmake")
    list(APPEND _orv_fragments ${_orv_test_fragments})
  endif()
  list(SORT _orv_fragments)
  foreach(_orv_fragment IN LISTS _orv_fragments)
    include("${_orv_fragment}")
  endforeach()
endmacro()

# A deliverable ships without its debug information: that goes to <build>/debug/<file>.debug,
# which a debugger finds through the debug link left in the file, and the shipped file keeps no
# symbol table either. Call it before the command that copies the file to dist/.
function(orv_ship target)
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "orv_ship: no objcopy for ${ORV_HOST}")
  endif()
  set(_debug "${CMAKE_BINARY_DIR}/debug/$<TARGET_FILE_NAME:${target}>.debug")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/debug"
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug "$<TARGET_FILE:${target}>" "${_debug}"
    COMMAND ${CMAKE_OBJCOPY} --strip-all "--add-gnu-debuglink=${_debug}" "$<TARGET_FILE:${target}>"
    VERBATIM)
endfunction()
