# Parsing, measuring and drawing a 100 KB description with the HTML drawer, against DrawTextW
# of the same text without markup, and how the drawer's time grows from 10 KB to 1 MB.
add_executable(bench_html_draw ${CMAKE_CURRENT_LIST_DIR}/html_draw.cpp)
target_link_libraries(bench_html_draw PRIVATE orv_htmldrawer)
set_target_properties(bench_html_draw PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
orv_strict(bench_html_draw)
