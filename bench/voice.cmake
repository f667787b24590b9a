# A speak handed to a voice thread, up to the fake engine's speak call, against a bare
# PostThreadMessage round trip.
add_executable(bench_voice ${CMAKE_CURRENT_LIST_DIR}/voice.cpp)
target_link_libraries(bench_voice PRIVATE orv_speech_voice fakesapi_control)
set_target_properties(bench_voice PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
orv_strict(bench_voice)
orv_use_fakesapi(bench_voice)
