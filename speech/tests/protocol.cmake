orv_add_test(NAME speech_protocol_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProtocolTests.cpp
             LIBS orv_speech_protocol TIMEOUT 120)
orv_strict(speech_protocol_tests)
