# The values the speech framework writes for the reader: a library of their own, so that the
# speech framework needs nothing else of the reader.
add_library(orv_reader_voice_settings STATIC ${CMAKE_CURRENT_LIST_DIR}/VoiceSettings.cpp)
target_include_directories(orv_reader_voice_settings PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_voice_settings PUBLIC orv_win)
orv_strict(orv_reader_voice_settings)

# The reader's registry settings, read hot key and diagnostic switch.
add_library(orv_reader_settings STATIC ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp)
target_include_directories(orv_reader_settings PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_settings PUBLIC orv_reader_voice_settings orv_win afx advapi32 user32)
orv_strict(orv_reader_settings)
