# Voice threads and the SAPI 5 voice, against the fake SAPI server and the system's own.
orv_add_test(NAME speech_voice_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VoiceTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VoiceTestSupport.cpp
  LIBS orv_speech_voice fakesapi_control
  TIMEOUT 180)
orv_strict(speech_voice_tests)
orv_use_fakesapi(speech_voice_tests)
