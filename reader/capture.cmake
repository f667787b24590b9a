# The reader's selected-text capture (with the Notepad fallback) and its usage hint.
add_library(orv_reader_capture STATIC
  "${CMAKE_CURRENT_LIST_DIR}/SelReaderDlg.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/UsageHint.cpp")
target_include_directories(orv_reader_capture PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_capture PUBLIC orv_handles afx orv_reader_settings orv_reader_controls orv_reader_test_hooks
                      shell32 user32)
orv_strict(orv_reader_capture)
