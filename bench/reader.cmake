# Reader start-up: time to the main dialog against a bare Win32 window.
add_executable(bench_reader_start "${CMAKE_CURRENT_LIST_DIR}/reader_start.cpp")
target_link_options(bench_reader_start PRIVATE -municode)  # wmain: the reader to time may be named
set_target_properties(bench_reader_start PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
orv_strict(bench_reader_start)
# The yardstick program lives one folder down, so that the bench runner does not run it alone.
add_executable(orv_bench_bare_window WIN32 "${CMAKE_CURRENT_LIST_DIR}/bare_window.cpp")
set_target_properties(orv_bench_bare_window PROPERTIES
  OUTPUT_NAME bare_window RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench/programs")
target_link_options(orv_bench_bare_window PRIVATE -municode)
orv_strict(orv_bench_bare_window)
add_dependencies(bench_reader_start orv_bench_bare_window orv_reader)
# The shared pieces of the reader's benchmarks: settings, the fake engine, started programs.
add_library(orv_reader_bench_support STATIC "${CMAKE_CURRENT_LIST_DIR}/ReaderBenchSupport.cpp")
target_include_directories(orv_reader_bench_support PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_bench_support PUBLIC fakesapi_control orv_started_program)
orv_strict(orv_reader_bench_support)
target_link_libraries(bench_reader_start PRIVATE orv_reader_bench_support)
orv_use_fakesapi(bench_reader_start)
# The main road from the read hot key's release to the engine's speak call, the reader's own
# waits reported apart, against a clipboard round trip with one cross-thread message.
add_executable(bench_main_road "${CMAKE_CURRENT_LIST_DIR}/main_road.cpp")
target_include_directories(bench_main_road PRIVATE "${CMAKE_SOURCE_DIR}/reader/tests")
target_link_libraries(bench_main_road PRIVATE orv_reader_bench_support)
set_target_properties(bench_main_road PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
add_dependencies(bench_main_road orv_reader orv_text_source)
orv_strict(bench_main_road)
orv_use_fakesapi(bench_main_road)
# The reader at rest: wake-ups and processor time, counted from the host by its runner.
add_executable(bench_reader_idle "${CMAKE_CURRENT_LIST_DIR}/reader_idle.cpp")
target_link_libraries(bench_reader_idle PRIVATE orv_reader_bench_support)
set_target_properties(bench_reader_idle PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
add_dependencies(bench_reader_idle orv_reader orv_bench_bare_window)
orv_strict(bench_reader_idle)
orv_use_fakesapi(bench_reader_idle)
configure_file("${CMAKE_CURRENT_LIST_DIR}/reader_idle.runner" "${CMAKE_BINARY_DIR}/bench/bench_reader_idle.runner"
  COPYONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
