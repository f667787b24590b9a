orv_add_test(NAME speech_control_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/SpeechTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SpeechControlTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VoicePoolTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VoiceListTests.cpp
  LIBS orv_speech fakesapi_control
  TIMEOUT 300)
orv_strict(speech_control_tests)
orv_use_fakesapi(speech_control_tests)
# Writes the reader's or the maker's HKLM keys, which other test programs read.
set_tests_properties(speech_control_tests PROPERTIES RESOURCE_LOCK hklm_orvel_keys)
