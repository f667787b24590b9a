# Building and merging the offers for generated catalogues of 500, 5,000 and 50,000 products:
# time and peak memory, and how both grow (goal: linearly).
add_executable(bench_catalogue ${CMAKE_CURRENT_LIST_DIR}/catalogue.cpp)
target_link_libraries(bench_catalogue PRIVATE orv_plugin_core psapi)
set_target_properties(bench_catalogue PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
orv_strict(bench_catalogue)
