# The HTML drawer with its markup, its draw manager and the palette bitmap under it.
add_library(orv_htmldrawer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CeXDib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PPDrawManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HtmlMarkup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkOpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PPHtmlDrawer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PPHtmlDrawerTables.cpp)
target_include_directories(orv_htmldrawer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_htmldrawer PUBLIC orv_handles orv_win orv_plugin_text gdi32 user32 shell32 advapi32 comctl32)
orv_strict(orv_htmldrawer)
