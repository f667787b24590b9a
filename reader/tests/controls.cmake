# Tests of the drawing helpers and skinned controls, drawing from the real English module.
orv_add_test(NAME reader_controls_tests
  SOURCES "${CMAKE_SOURCE_DIR}/reader/controls/tests/ControlsTests.cpp"
          "${CMAKE_SOURCE_DIR}/reader/controls/tests/SkinnedPanel.cpp"
  LIBS orv_reader_skin orv_skin_session
  TIMEOUT 120)
target_include_directories(reader_controls_tests PRIVATE "${CMAKE_SOURCE_DIR}/reader/controls/tests")
add_dependencies(reader_controls_tests orv_lang_english orv_testlang_polish_no_lexicon_button)
orv_strict(reader_controls_tests)
