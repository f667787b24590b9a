# Tests of the reader's start-up pieces and language modules (reader_tests), and of the
# program as a process under Wine (reader_process_tests, reader_process_polish).

# Modules the tests need beside the real ones: other versions, no version resource, no or an
# empty translation list, no main dialog or one without a skinned control. They land in
# testmodules\ beside the test programs.
set(_orv_test_modules polish_1_0_12:PL polish_1_0_13_7:PL english_1_0_12:EN english_no_version:EN
                      english_no_translation:EN english_empty_translation:EN polish_no_main_dialog:PL
                      polish_no_lexicon_button:PL)
set(_orv_test_module_targets "")
foreach(_orv_m IN LISTS _orv_test_modules)
  string(REPLACE ":" ";" _orv_pair "${_orv_m}")
  list(GET _orv_pair 0 _orv_name)
  list(GET _orv_pair 1 _orv_badge)
  orv_language_module(orv_testlang_${_orv_name}
    RC "${CMAKE_CURRENT_LIST_DIR}/modules/${_orv_name}.rc" BADGE ${_orv_badge}
    OUTPUT_NAME ${_orv_name} DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/testmodules")
  set_property(SOURCE "${CMAKE_CURRENT_LIST_DIR}/modules/${_orv_name}.rc" APPEND PROPERTY OBJECT_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/lang/english.rc;${CMAKE_CURRENT_SOURCE_DIR}/lang/polish.rc")
  list(APPEND _orv_test_module_targets orv_testlang_${_orv_name})
endforeach()

orv_add_test(NAME reader_tests
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/LanguageModuleTests.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/ModuleResourcesTests.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/LifetimeTests.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/SpeechClientRegistrationTests.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/ReaderTestSupport.cpp"
          "${CMAKE_CURRENT_LIST_DIR}/reader_tests.rc"
  LIBS orv_reader_core orv_started_program
  TIMEOUT 120)
# The tests read the real program's version and copy the modules beside it.
add_dependencies(reader_tests orv_reader ${_orv_test_module_targets})
orv_strict(reader_tests)

# The process tests start copies of the program; one instance at a time per prefix, and they
# write "language" under HKLM\SOFTWARE\ORVEL, so they hold both locks.
add_executable(reader_process_tests
  "${CMAKE_CURRENT_LIST_DIR}/ProcessTests.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/ReaderTestSupport.cpp")
target_link_libraries(reader_process_tests PRIVATE orv_reader_core orv_started_program dep_gmock dep_gtest_main)
add_dependencies(reader_process_tests orv_reader ${_orv_test_module_targets})
orv_strict(reader_process_tests)
add_test(NAME reader_process_tests COMMAND reader_process_tests --gtest_filter=-PolishSystem.*)
add_test(NAME reader_process_polish COMMAND reader_process_tests --gtest_filter=PolishSystem.*)
set_tests_properties(reader_process_tests reader_process_polish PROPERTIES
  TIMEOUT 300 RESOURCE_LOCK "orvel_reader_instance;hklm_orvel_keys")
set_tests_properties(reader_process_polish PROPERTIES ENVIRONMENT "LC_ALL=pl_PL.UTF-8")
