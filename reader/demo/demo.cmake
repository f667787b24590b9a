# The demo's look at and hand on the running reader from the Windows side
# (reader/demo/run-demo.sh). It speaks through the fake SAPI engine of the test tree, so it is
# built where the tests are.
if(TARGET fakesapi_control)
  add_executable(orv_reader_probe "${CMAKE_CURRENT_LIST_DIR}/reader_probe.cpp")
  target_link_libraries(orv_reader_probe PRIVATE fakesapi_control)
  set_target_properties(orv_reader_probe PROPERTIES
    OUTPUT_NAME reader_probe RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/reader/demo")
  orv_strict(orv_reader_probe)
  orv_use_fakesapi(orv_reader_probe)
endif()
