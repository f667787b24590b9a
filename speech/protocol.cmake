# Messages and records shared by the speech framework and its client windows.
add_library(orv_speech_protocol STATIC ${CMAKE_CURRENT_LIST_DIR}/SpeechProtocol.cpp)
target_include_directories(orv_speech_protocol PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_speech_protocol PUBLIC afx ole32)
orv_strict(orv_speech_protocol)
