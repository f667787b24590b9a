# The speech framework as the reader links it: the control thread and window, the voice manager,
# and below them the voice threads, the protocol records and the language table.
add_library(orv_speech STATIC
  ${CMAKE_CURRENT_LIST_DIR}/VoiceManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpeechControl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ThSpeechControl.cpp)
target_include_directories(orv_speech PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_speech PUBLIC
  orv_handles orv_speech_voice orv_speech_protocol orv_languagetable orv_reader_voice_settings orv_reader_test_hooks
  orv_win afx
  sapi ole32 oleaut32 uuid advapi32 user32)
orv_strict(orv_speech)
