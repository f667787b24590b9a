# Tests of the main dialog in the test's own process, with a speech thread of the test and the
# fake SAPI server. They write the reader's HKLM values and press keys on the shared desktop.
orv_add_test(NAME reader_dialog_tests
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/DialogTests.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/ReaderTestSupport.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/TextSourceProcess.cpp"
          "${CMAKE_SOURCE_DIR}/speech/tests/SpeechTestSupport.cpp"
  LIBS orv_reader_dialog fakesapi_control orv_started_program
  TIMEOUT 300)
target_include_directories(reader_dialog_tests PRIVATE "${CMAKE_SOURCE_DIR}/speech/tests")
add_dependencies(reader_dialog_tests orv_text_source orv_lang_english)
orv_strict(reader_dialog_tests)
orv_use_fakesapi(reader_dialog_tests)
# Alone: a window of any other test that takes the focus makes Wine take the keyboard state
# from the display again, which drops the keys the test holds down.
set_tests_properties(reader_dialog_tests PROPERTIES RESOURCE_LOCK "hklm_orvel_keys;desktop_input" RUN_SERIAL TRUE)
