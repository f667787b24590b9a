# An idle window holding every skinned control against the same window with the system's own
# controls: paints and CPU time per second while idle, and the time to paint it once.
add_executable(bench_skinned_controls "${CMAKE_CURRENT_LIST_DIR}/skinned_controls.cpp")
target_link_libraries(bench_skinned_controls PRIVATE orv_reader_skin orv_skin_session)
set_target_properties(bench_skinned_controls PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
add_dependencies(bench_skinned_controls orv_lang_english)
orv_strict(bench_skinned_controls)
