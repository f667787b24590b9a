# Reader start-up: time to the main dialog against a bare Win32 window.
add_executable(bench_reader_start "${CMAKE_CURRENT_LIST_DIR}/reader_start.cpp")
set_target_properties(bench_reader_start PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
orv_strict(bench_reader_start)
# The yardstick program lives one folder down, so that the bench runner does not run it alone.
add_executable(orv_bench_bare_window WIN32 "${CMAKE_CURRENT_LIST_DIR}/bare_window.cpp")
set_target_properties(orv_bench_bare_window PROPERTIES
  OUTPUT_NAME bare_window RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench/programs")
target_link_options(orv_bench_bare_window PRIVATE -municode)
orv_strict(orv_bench_bare_window)
add_dependencies(bench_reader_start orv_bench_bare_window orv_reader)
