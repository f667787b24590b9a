# The HTML tree: smart checking, check transitions, search, keys and item tooltips.
orv_add_test(NAME htmlctrl_tree_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/HtmlTreeTests.cpp
  LIBS orv_htmltree
  TIMEOUT 180)
orv_strict(htmlctrl_tree_tests)
# Alone: it clicks through the system's input at screen points that another test's window
# could cover.
set_tests_properties(htmlctrl_tree_tests PROPERTIES RUN_SERIAL TRUE)
