# The reader's registry settings, read hot key, diagnostic switch and thread names.
add_library(orv_reader_settings STATIC ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp)
target_include_directories(orv_reader_settings PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_settings PUBLIC afx advapi32 user32)
orv_strict(orv_reader_settings)
