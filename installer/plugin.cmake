# The installer plug-in: orv_plugin_core holds everything testable, GWPlugin is the DLL that
# an NSIS installer loads (seven undecorated cdecl exports, see dll/GWPlugin.def).

# UTF-16 <-> narrow conversions into caller buffers; the HTML controls link it too.
add_library(orv_plugin_text STATIC ${CMAKE_CURRENT_LIST_DIR}/PluginText.cpp)
target_include_directories(orv_plugin_text PUBLIC ${CMAKE_CURRENT_LIST_DIR})
orv_strict(orv_plugin_text)

add_library(orv_plugin_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CatalogueDownload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckingDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComponentRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ComponentsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogTemplates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LangFlagsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageWait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NsisStack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PluginApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PluginLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PluginPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProductCatalogue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProductTables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Products.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SizeProbes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestHooks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Utilities.cpp)
target_include_directories(orv_plugin_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_plugin_core PUBLIC
  orv_plugin_text orv_support orv_download orv_catalogue orv_languagetable orv_htmltree afx nsisapi orv_handles
  gdiplus version ole32 comctl32 advapi32)
# The core's TestHooks.cpp is built without the hooks, whatever the configuration: only the test
# programs and the test copy of the plug-in below link orv_plugin_test_hooks in its place.
orv_strict(orv_plugin_core)

# The plug-in's resources, shared by the DLL and the programs that test its code.
set(ORV_PLUGIN_RC ${CMAKE_CURRENT_LIST_DIR}/res/GWPlugin.rc)

add_library(GWPlugin SHARED
  ${CMAKE_CURRENT_LIST_DIR}/dll/GWPluginDll.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dll/GWPlugin.def
  ${ORV_PLUGIN_RC})
set_target_properties(GWPlugin PROPERTIES PREFIX "" OUTPUT_NAME GWPlugin
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/shipped
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/shipped
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/shipped)
target_link_libraries(GWPlugin PRIVATE orv_plugin_core)
orv_strict(GWPlugin)
orv_ship(GWPlugin)
add_custom_command(TARGET GWPlugin POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_DIST}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:GWPlugin> ${ORV_DIST}/GWPlugin.dll
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_LIST_DIR}/example/webinstaller.nsi
          ${ORV_DIST}/webinstaller.nsi
  COMMENT "Copying GWPlugin.dll and the example installer script to ${ORV_DIST}")

if(ORV_BUILD_TESTS)
  # The test hooks: environment variables that choose the catalogue's address, a trace file and
  # a download event. Linked as objects, they take the place of the core's inert TestHooks.cpp.
  add_library(orv_plugin_test_hooks OBJECT ${CMAKE_CURRENT_LIST_DIR}/TestHooks.cpp)
  target_compile_definitions(orv_plugin_test_hooks PRIVATE ORV_GW_TEST_HOOKS)
  target_include_directories(orv_plugin_test_hooks PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(orv_plugin_test_hooks PUBLIC orv_handles)
  orv_strict(orv_plugin_test_hooks)

  # The test copy of the plug-in, built from GWPlugin's own sources with the hooks, as
  # plugin/GWPlugin.dll for the tests that load the DLL or drive it from a real installer.
  add_library(GWPluginTest SHARED $<TARGET_PROPERTY:GWPlugin,SOURCES>)
  set_target_properties(GWPluginTest PROPERTIES PREFIX "" OUTPUT_NAME GWPlugin
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugin)
  target_link_libraries(GWPluginTest PRIVATE orv_plugin_test_hooks orv_plugin_core)
  orv_strict(GWPluginTest)
endif()
