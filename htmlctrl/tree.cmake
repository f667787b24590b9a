# The HTML tree control: light HTML labels, its own tri-state check boxes and HTML tooltips.
add_library(orv_htmltree STATIC ${CMAKE_CURRENT_LIST_DIR}/XHtmlTree.cpp)
target_include_directories(orv_htmltree PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_htmltree PUBLIC afx orv_htmllight orv_htmltooltip comctl32 gdi32 user32)
orv_strict(orv_htmltree)
