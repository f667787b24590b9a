# The reader's main road as a process: the program with the fake SAPI engine, a text selected in
# the tests' text source, the read hot key pressed through injected input. It starts the
# program, writes the reader's HKLM values and presses keys on the shared desktop, so it holds
# the instance, registry and input locks.
add_executable(reader_main_road_test
  "${CMAKE_CURRENT_LIST_DIR}/MainRoadTests.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/ReaderTestSupport.cpp")
target_link_libraries(reader_main_road_test PRIVATE orv_reader_core fakesapi_control orv_started_program dep_gmock dep_gtest_main)
add_dependencies(reader_main_road_test orv_reader orv_text_source orv_lang_english)
orv_strict(reader_main_road_test)
add_test(NAME reader_main_road_test COMMAND reader_main_road_test)
set_tests_properties(reader_main_road_test PROPERTIES
  TIMEOUT 300 RESOURCE_LOCK "orvel_reader_instance;hklm_orvel_keys;desktop_input"
  # Alone: another test's window taking the focus drops the keys it holds down.
  RUN_SERIAL TRUE)
orv_use_fakesapi(reader_main_road_test)
