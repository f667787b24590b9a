orv_add_test(NAME support_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/BufferTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextConversionTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocaleTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VersionNumberTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XmlTranslationTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XmlReaderTests.cpp
  LIBS orv_support
  TIMEOUT 120)
orv_strict(support_tests)
