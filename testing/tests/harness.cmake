orv_add_test(NAME harness_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/HarnessTests.cpp
  LIBS user32 advapi32
  TIMEOUT 120)
orv_strict(harness_tests)
