# The HTML tooltip window.
add_library(orv_htmltooltip STATIC ${CMAKE_CURRENT_LIST_DIR}/PPToolTip.cpp)
target_include_directories(orv_htmltooltip PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_htmltooltip PUBLIC orv_htmldrawer gdi32 user32)
orv_strict(orv_htmltooltip)
