# Voice threads and their command objects, and the SAPI 5 voice.
add_library(orv_speech_voice STATIC
  ${CMAKE_CURRENT_LIST_DIR}/TTSMessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TTSVoice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TTSSapi5.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SapiGuids.cpp)
target_include_directories(orv_speech_voice PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_speech_voice PUBLIC orv_handles orv_speech_protocol orv_win afx sapi ole32 oleaut32 uuid user32)
orv_strict(orv_speech_voice)
