# The HTML drawer's markup, without a window.
orv_add_test(NAME htmlctrl_markup_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MarkupTests.cpp
  LIBS orv_htmldrawer
  TIMEOUT 120)
orv_strict(htmlctrl_markup_tests)

# A resource module with a picture whose code must never run when markup names it.
add_library(orv_html_resource_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/ResourceDll.c ${CMAKE_CURRENT_LIST_DIR}/resource_dll.rc)
set_target_properties(orv_html_resource_dll PROPERTIES PREFIX "" OUTPUT_NAME html_resources
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/resource_dll.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/data/red_blue.bmp)

# Drawing, layout, tables, links and the robustness run, into memory DCs.
orv_add_test(NAME htmlctrl_drawing_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DrawManagerTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LayoutTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TableTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RobustnessTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/drawer_tests.rc
  LIBS orv_htmldrawer orv_htmllight advapi32
  TIMEOUT 300)
orv_strict(htmlctrl_drawing_tests)
set_target_properties(htmlctrl_drawing_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/drawer_tests.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/data/red_blue.bmp;${CMAKE_CURRENT_LIST_DIR}/data/strip.bmp;${CMAKE_CURRENT_LIST_DIR}/data/red.ico")
add_dependencies(htmlctrl_drawing_tests orv_html_resource_dll)
