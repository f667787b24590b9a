orv_add_test(NAME catalogue_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CatalogueReaderTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CatalogueRobustnessTests.cpp
  LIBS orv_catalogue
  TIMEOUT 180)
orv_strict(catalogue_tests)
