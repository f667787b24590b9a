# The fake SAPI 5 server for tests (fakesapi.dll) and the test-side helper that registers it,
# declares voices and reads what it was asked to do (fakesapi_control).
set(_fakesapi_dir ${CMAKE_CURRENT_LIST_DIR}/fakesapi)

add_library(fakesapi SHARED
  ${_fakesapi_dir}/FakeModule.cpp
  ${_fakesapi_dir}/FakeSupport.cpp
  ${_fakesapi_dir}/FakeTokens.cpp
  ${_fakesapi_dir}/FakeVoice.cpp
  ${_fakesapi_dir}/FakeStream.cpp
  ${_fakesapi_dir}/FakeDialog.cpp
  ${_fakesapi_dir}/FakeSapiControl.cpp)
# COM finds the entry points by their plain names.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_sources(fakesapi PRIVATE ${_fakesapi_dir}/fakesapi-x86.def)
else()
  target_sources(fakesapi PRIVATE ${_fakesapi_dir}/fakesapi.def)
endif()
set_target_properties(fakesapi PROPERTIES PREFIX "" OUTPUT_NAME fakesapi)
target_link_libraries(fakesapi PRIVATE orv_handles sapi ole32 oleaut32 uuid user32 advapi32)
orv_strict(fakesapi)

add_library(fakesapi_control STATIC ${_fakesapi_dir}/FakeSapiControl.cpp)
target_include_directories(fakesapi_control PUBLIC ${_fakesapi_dir})
target_link_libraries(fakesapi_control PUBLIC orv_handles sapi ole32 uuid advapi32)
# Every test program registers the one DLL of the build, so that programs running side by side
# never switch the prefix's registration between copies.
target_compile_definitions(fakesapi_control PRIVATE "ORV_FAKESAPI_BUILT_DLL=\"$<TARGET_FILE:fakesapi>\"")
add_dependencies(fakesapi_control fakesapi)
orv_strict(fakesapi_control)

# Puts the prefix's own registration back once every test that registered the fake is done.
add_executable(fakesapi_restore ${_fakesapi_dir}/RestoreRegistration.cpp)
target_link_libraries(fakesapi_restore PRIVATE fakesapi_control)
target_link_options(fakesapi_restore PRIVATE -municode)
orv_strict(fakesapi_restore)
add_test(NAME fakesapi_restore COMMAND fakesapi_restore)
set_tests_properties(fakesapi_restore PROPERTIES FIXTURES_CLEANUP fakesapi TIMEOUT 120)

# Makes sure fakesapi.dll is built before a program that uses it, and keeps a copy beside it
# (the registration's fallback when the build's own DLL is missing). A test of the same name
# requires the fake, so that ctest restores the prefix's registration after it.
function(orv_use_fakesapi target)
  add_dependencies(${target} fakesapi)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:fakesapi> $<TARGET_FILE_DIR:${target}>
    VERBATIM)
  if(TEST ${target})
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED fakesapi)
  endif()
endfunction()
