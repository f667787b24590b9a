# Reading a selection: the time from a read request to the captured text, against a bare
# clipboard round trip (set and read) in one process.
add_executable(bench_capture "${CMAKE_CURRENT_LIST_DIR}/capture.cpp")
target_include_directories(bench_capture PRIVATE "${CMAKE_SOURCE_DIR}/reader/tests")
target_link_libraries(bench_capture PRIVATE orv_reader_capture)
set_target_properties(bench_capture PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
add_dependencies(bench_capture orv_text_source orv_lang_english)
orv_strict(bench_capture)
