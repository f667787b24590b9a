# WM_SPEECH_SPEAK to the fake SAPI voice: requests per second and SendMessage-to-speak latency,
# against a bare cross-thread SendMessage.
if(TARGET fakesapi_control)
  add_executable(bench_speech_control
    ${CMAKE_CURRENT_LIST_DIR}/speech_control.cpp
    ${CMAKE_SOURCE_DIR}/speech/tests/SpeechTestSupport.cpp)
  target_include_directories(bench_speech_control PRIVATE ${CMAKE_SOURCE_DIR}/speech/tests)
  target_link_libraries(bench_speech_control PRIVATE orv_speech fakesapi_control)
  set_target_properties(bench_speech_control PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  orv_strict(bench_speech_control)
  orv_use_fakesapi(bench_speech_control)
endif()
