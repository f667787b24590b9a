orv_add_test(NAME languagetable_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LanguageTableTests.cpp
  LIBS orv_languagetable
  TIMEOUT 60)
orv_strict(languagetable_tests)
