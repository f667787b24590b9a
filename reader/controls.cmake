# The reader's drawing helpers and skinned controls (reader/controls/).
add_library(orv_reader_controls STATIC
  "${CMAKE_CURRENT_LIST_DIR}/controls/draw_helpers.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/controls/ControlTooltips.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/controls/SkinButton.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/controls/ClodSliderCtrl.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/controls/HyperlinkStatic.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/controls/TTComboBox.cpp")
target_include_directories(orv_reader_controls PUBLIC "${CMAKE_CURRENT_LIST_DIR}/controls" "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_controls PUBLIC afx gdiplus msimg32 ole32 comctl32 gdi32 user32)
orv_strict(orv_reader_controls)

# The main dialog's skin: which images and sheet cells its controls show, their set-up and their
# places. The dialog, the controls' tests and the controls' benchmark skin their windows with it.
add_library(orv_reader_skin STATIC "${CMAKE_CURRENT_LIST_DIR}/DialogSkin.cpp")
target_link_libraries(orv_reader_skin PUBLIC orv_reader_controls)
orv_strict(orv_reader_skin)
