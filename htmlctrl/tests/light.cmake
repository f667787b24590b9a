# Named colours, check-box images, the light drawer with its links and the HTML static, in
# visible windows.
orv_add_test(NAME htmlctrl_light_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/LightHtmlTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HtmlStaticTests.cpp
  LIBS orv_htmllight
  TIMEOUT 120)
orv_strict(htmlctrl_light_tests)
