orv_add_test(NAME afx_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/AfxTests.cpp LIBS afx TIMEOUT 120)
orv_strict(afx_tests)
