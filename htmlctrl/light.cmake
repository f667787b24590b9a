# The light HTML controls: named colours, check-box images with the visual-style functions,
# the one-line light drawer with link opening, and the HTML static.
add_library(orv_htmllight STATIC
  ${CMAKE_CURRENT_LIST_DIR}/XNamedColors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckboxImages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XHtmlDraw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XHTMLStatic.cpp)
target_include_directories(orv_htmllight PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_htmllight PUBLIC orv_htmldrawer gdi32 user32 comctl32)
orv_strict(orv_htmllight)
