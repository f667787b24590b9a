# Tests of the selected-text capture, the Notepad fallback and the usage hint, with a small
# text-source program. They write the reader's HKLM values ("wait", "notepad_mode",
# "notepad_default_txt"), move the foreground, press keys and start Notepad, so they hold
# the registry lock and the desktop's input.
add_executable(orv_text_source WIN32 "${CMAKE_CURRENT_LIST_DIR}/TextSource.cpp")
orv_strict(orv_text_source)
orv_add_test(NAME reader_capture_tests
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/CaptureTests.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/ReaderTestSupport.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/TextSourceProcess.cpp"
  LIBS orv_reader_capture orv_reader_core orv_started_program
  TIMEOUT 300)
add_dependencies(reader_capture_tests orv_text_source orv_lang_english)
orv_strict(reader_capture_tests)
# Alone: another test's window taking the focus would take the foreground and the keys from it.
set_tests_properties(reader_capture_tests PROPERTIES RESOURCE_LOCK "hklm_orvel_keys;desktop_input" RUN_SERIAL TRUE)
