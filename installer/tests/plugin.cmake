# Unit tests of the installer plug-in's core (run in-process with a fake NSIS host).
orv_add_test(NAME plugin_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CheckingTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ComponentsPageTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DllTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportsTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FlagsPageTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstalledProductsTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NsisStackTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OfferTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PageHostTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProductTablesTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProductTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UtilitiesTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plugin_tests.rc
  LIBS orv_plugin_test_hooks orv_plugin_core orv_nsis_testing ws2_32
  TIMEOUT 120)
orv_strict(plugin_tests)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/plugin_tests.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/../res/GWPlugin.rc;${CMAKE_SOURCE_DIR}/testing/nsis/TestPage.rc;${ORV_PAGE_IMAGES_RC};${ORV_PAGE_IMAGES}")
orv_page_images_for(plugin_tests)
# The DLL test loads the test copy of GWPlugin.dll.
add_dependencies(plugin_tests GWPluginTest)

# Product data files as the installer carries them beside itself: small resource-only DLLs
# with a version resource (or none), put in datafiles/ next to the test program.
set(_datafiles
  "loire|1.6.2.9|voice_loire"
  "wisla|1.2.0.0|VOICE_WISLA"
  "twopart|2.5|Orvel_Helm"
  "noname|1.0.0.0|")
foreach(_entry IN LISTS _datafiles)
  string(REPLACE "|" ";" _fields "${_entry}")
  list(GET _fields 0 _name)
  list(GET _fields 1 _version)
  list(GET _fields 2 _internal)
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/datafiles/datafile_${_name}.rc)
  file(CONFIGURE OUTPUT ${_rc} CONTENT
    "#define FILE_VERSION_TEXT \"${_version}\"\n#define INTERNAL_NAME \"${_internal}\"\n#include \"${CMAKE_CURRENT_LIST_DIR}/datafiles/DataFileVersion.rc\"\n")
  add_library(orv_datafile_${_name} SHARED ${CMAKE_CURRENT_LIST_DIR}/datafiles/DataFile.c ${_rc})
  set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/datafiles/DataFileVersion.rc)
  set_target_properties(orv_datafile_${_name} PROPERTIES PREFIX "" OUTPUT_NAME datafile_${_name}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/datafiles)
  orv_strict(orv_datafile_${_name})
  add_dependencies(plugin_tests orv_datafile_${_name})
endforeach()
add_library(orv_datafile_noversion SHARED ${CMAKE_CURRENT_LIST_DIR}/datafiles/DataFile.c)
set_target_properties(orv_datafile_noversion PROPERTIES PREFIX "" OUTPUT_NAME datafile_noversion
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/datafiles)
orv_strict(orv_datafile_noversion)
add_dependencies(plugin_tests orv_datafile_noversion)

# The catalogue download and the size probes against the local HTTPS gateway: with-gateway
# starts and stops it; the tests write the catalogues they serve into its root folder.
add_executable(plugin_gateway_tests ${CMAKE_CURRENT_LIST_DIR}/GatewayTests.cpp ${CMAKE_CURRENT_LIST_DIR}/plugin_tests.rc)
target_link_libraries(plugin_gateway_tests PRIVATE orv_plugin_test_hooks orv_plugin_core orv_nsis_testing orv_testgateway
  dep_gmock dep_gtest_main)
orv_strict(plugin_gateway_tests)
# Its unload test loads the test copy of GWPlugin.dll.
add_dependencies(plugin_gateway_tests GWPluginTest)
orv_page_images_for(plugin_gateway_tests)
set(_gateway_root ${CMAKE_CURRENT_BINARY_DIR}/gateway-root)
file(MAKE_DIRECTORY ${_gateway_root})
add_test(NAME plugin_gateway_tests
         COMMAND ${CMAKE_COMMAND} -E env ORV_TEST_GATEWAY_ROOT=${_gateway_root}
                 ${ORV_WITH_GATEWAY} --root ${_gateway_root}
                 ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:plugin_gateway_tests>)
# One of its tests waits for a catalogue that trickles in for about 50 s, bounded at 150 s: the
# program's limit leaves that bound room to fire first, under an i386 emulator too.
set_tests_properties(plugin_gateway_tests PROPERTIES TIMEOUT 480 RESOURCE_LOCK ${ORV_ROOT_STORE_LOCK})
# Writes the reader's or the maker's HKLM keys, which other test programs read.
set_tests_properties(plugin_tests PROPERTIES RESOURCE_LOCK hklm_orvel_keys)
