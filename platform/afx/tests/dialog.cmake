# Tests of the layer's dialogs, data exchange and controls.
orv_add_test(NAME afx_dialog_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DialogTests.cpp ${CMAKE_CURRENT_LIST_DIR}/dialog_tests.rc
  LIBS afx TIMEOUT 120)
orv_strict(afx_dialog_tests)
