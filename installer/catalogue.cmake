# The catalogue document's records and its reader (root element "content").
add_library(orv_catalogue STATIC ${CMAKE_CURRENT_LIST_DIR}/catalogue/CatalogueReader.cpp)
target_include_directories(orv_catalogue PUBLIC ${CMAKE_CURRENT_LIST_DIR}/catalogue)
target_link_libraries(orv_catalogue PUBLIC orv_support)
orv_strict(orv_catalogue)
