# The demo's look at and hand on the running reader from the Windows side
# (demo/run-demo.sh). It speaks through the fake SAPI engine of the test tree, so it is
# built where the tests are.
if(TARGET fakesapi_control)
  add_executable(orv_reader_probe "${CMAKE_CURRENT_LIST_DIR}/reader_probe.cpp")
  target_link_libraries(orv_reader_probe PRIVATE fakesapi_control orv_reader_voice_settings)
  set_target_properties(orv_reader_probe PROPERTIES
    OUTPUT_NAME reader_probe RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/demo")
  orv_strict(orv_reader_probe)
  orv_use_fakesapi(orv_reader_probe)
  # The shipped reader of dist/ itself on its main road, with this tree's probe and fake engine:
  # a 32-bit tree only, since what ships is 32-bit. `make test` builds dist/ first.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME shipped_reader_main_road
             COMMAND env ORV_DEMO_ROAD=1 "${CMAKE_CURRENT_LIST_DIR}/run-demo.sh" "${CMAKE_BINARY_DIR}"
                     "${CMAKE_SOURCE_DIR}/dist/Orvel Murmelin/Orvel Murmelin.exe")
    set_tests_properties(shipped_reader_main_road PROPERTIES
      TIMEOUT 600 RUN_SERIAL TRUE RESOURCE_LOCK "orvel_reader_instance;desktop_input")
  endif()
endif()
