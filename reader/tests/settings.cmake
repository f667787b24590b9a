orv_add_test(NAME reader_settings_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsTests.cpp
             LIBS orv_reader_settings orv_handles advapi32 TIMEOUT 120)
orv_strict(reader_settings_tests)
# These tests write the reader's real HKLM keys; other tests touching them must not run at
# the same time.
set_tests_properties(reader_settings_tests PROPERTIES RESOURCE_LOCK hklm_orvel_keys)
