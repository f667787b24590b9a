# NSIS test fixtures: a fake host for in-process tests, a test page, a test plug-in DLL with
# a page export, the driver that presses the NSIS buttons, and the end-to-end tests that build
# real installers with makensis and run them under Wine.
set(_nsis ${CMAKE_CURRENT_LIST_DIR}/nsis)

add_library(orv_nsis_testing STATIC ${_nsis}/FakeNsisHost.cpp ${_nsis}/FakeNsisWindow.cpp ${_nsis}/TestPage.cpp)
target_include_directories(orv_nsis_testing PUBLIC ${_nsis})
target_link_libraries(orv_nsis_testing PUBLIC orv_plugin_core nsisapi)
orv_strict(orv_nsis_testing)

add_library(GWPageTest SHARED ${_nsis}/GWPageTest.cpp ${_nsis}/GWPageTest.def ${_nsis}/GWPageTest.rc)
set_target_properties(GWPageTest PROPERTIES PREFIX "" OUTPUT_NAME GWPageTest
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/nsis-plugins)
target_link_libraries(GWPageTest PRIVATE orv_nsis_testing)
orv_strict(GWPageTest)

add_executable(pagedriver ${_nsis}/PageDriver.cpp)
target_link_options(pagedriver PRIVATE -municode)
set_target_properties(pagedriver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/nsis-plugins)
orv_strict(pagedriver)

find_program(ORV_MAKENSIS makensis)
if(ORV_MAKENSIS)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_nsis_target amd64-unicode)
  else()
    set(_nsis_target x86-unicode)
  endif()
  # Each case builds an installer from testing/nsis/e2e.nsi with CASE defined, runs it and
  # compares the lines it wrote with testing/nsis/expected/<case>.txt.
  # gw_* cases run with the local HTTPS gateway (run-e2e starts it) and compare the plug-in's
  # trace too: the catalogue fetched, refused, malformed or in an unknown language, and the
  # checking dialog of each installer language.
  foreach(_case stack empty_stack page_next page_back page_cancel install_page
          gw_fast gw_refused_builtin gw_refused_none gw_malformed gw_unknown_lang
          gw_checking_1031 gw_checking_1033 gw_checking_1034 gw_checking_1036 gw_checking_1045)
    add_test(NAME plugin_nsis_${_case}
      COMMAND ${_nsis}/run-e2e ${_case}
              ${ORV_MAKENSIS} ${_nsis_target} ${_nsis}/e2e.nsi ${CMAKE_BINARY_DIR}/plugin
              ${CMAKE_BINARY_DIR}/nsis-plugins ${CMAKE_BINARY_DIR}/nsis-e2e/${_case}
              ${CMAKE_BINARY_DIR}/wine-run ${_nsis}/expected/${_case}.txt)
    set_tests_properties(plugin_nsis_${_case} PROPERTIES TIMEOUT 300 LABELS nsis)
  endforeach()
else()
  message(STATUS "makensis not found: the NSIS end-to-end tests are not registered")
endif()
