# Reading a large catalogue through the XML object reader, against TinyXML's bare parse.
add_executable(bench_xml_read ${CMAKE_CURRENT_LIST_DIR}/xml_read.cpp)
target_link_libraries(bench_xml_read PRIVATE orv_catalogue psapi)
set_target_properties(bench_xml_read PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
orv_strict(bench_xml_read)
