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
