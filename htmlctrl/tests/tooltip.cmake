# The HTML tooltip: placement, the delay and fade machine driven step by step, drawing.
orv_add_test(NAME htmlctrl_tooltip_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolTipTests.cpp
  LIBS orv_htmltooltip
  TIMEOUT 120)
orv_strict(htmlctrl_tooltip_tests)
# Alone: it asks which window lies under screen points, and the reader's top-most dialog of
# another test could lie there.
set_tests_properties(htmlctrl_tooltip_tests PROPERTIES RUN_SERIAL TRUE)
