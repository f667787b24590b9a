# The demo's look at the running reader from the Windows side (reader/demo/run-demo.sh).
add_executable(orv_reader_probe "${CMAKE_CURRENT_LIST_DIR}/reader_probe.cpp")
set_target_properties(orv_reader_probe PROPERTIES
  OUTPUT_NAME reader_probe RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/reader/demo")
orv_strict(orv_reader_probe)
