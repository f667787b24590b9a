# The reader program "Orvel Murmelin": a testable core library, the program with its own
# resources (failure texts, version, common-controls manifest) and its language modules.
include("${CMAKE_CURRENT_LIST_DIR}/lang/lang.cmake")

add_library(orv_reader_core STATIC
  "${CMAKE_CURRENT_LIST_DIR}/LanguageModule.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/AppLifetime.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/SpeechClientRegistration.cpp")
target_include_directories(orv_reader_core PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_core PUBLIC orv_handles afx orv_reader_settings orv_speech_protocol version ole32 gdiplus comctl32)
orv_strict(orv_reader_core)

# The main dialog and the web addresses it opens: a library of their own, so that tests drive the
# dialog in their own process against a speech thread of theirs.
add_library(orv_reader_dialog STATIC
  "${CMAKE_CURRENT_LIST_DIR}/OrvelParlonVeskDlg.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/MakerLinks.cpp")
target_include_directories(orv_reader_dialog PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_reader_dialog PUBLIC orv_reader_core orv_reader_capture orv_reader_skin orv_speech
                      afx shell32 gdiplus user32)
orv_strict(orv_reader_dialog)

add_executable(orv_reader WIN32
  "${CMAKE_CURRENT_LIST_DIR}/OrvelParlonVesk.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/OPV_MainWnd.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/reader.rc")
# The manifest names the architecture of the build it is linked into: a 64-bit program that asks
# for the x86 common controls does not load where 32-bit Wine is installed too.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ORV_MANIFEST_ARCH x86)
else()
  set(ORV_MANIFEST_ARCH amd64)
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/orvel_murmelin.manifest.in"
               "${CMAKE_CURRENT_BINARY_DIR}/manifest/orvel_murmelin.manifest" @ONLY)
target_include_directories(orv_reader PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/manifest")
set_source_files_properties("${CMAKE_CURRENT_LIST_DIR}/reader.rc" PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_BINARY_DIR}/manifest/orvel_murmelin.manifest;${CMAKE_CURRENT_LIST_DIR}/resource.h")
target_link_libraries(orv_reader PRIVATE orv_reader_dialog orv_reader_core orv_speech afx orv_diagnostics)
# A crash report walks the stacks by their frame pointers.
target_compile_options(orv_reader PRIVATE -fno-omit-frame-pointer)
# The layer's WinMain is a library member; the C runtime asks for it only after the libraries
# were scanned, so name it up front.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(orv_reader PRIVATE "LINKER:--undefined=_WinMain@16")
else()
  target_link_options(orv_reader PRIVATE "LINKER:--undefined=WinMain")
endif()
set_target_properties(orv_reader PROPERTIES
  OUTPUT_NAME "Orvel Murmelin"
  RUNTIME_OUTPUT_DIRECTORY "${ORV_READER_BIN_DIR}")
# The program cannot start without a language module beside it.
add_dependencies(orv_reader orv_language_modules)
orv_strict(orv_reader)
orv_ship(orv_reader)
add_custom_command(TARGET orv_reader POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory "${ORV_DIST}/Orvel Murmelin"
  COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:orv_reader>" "${ORV_DIST}/Orvel Murmelin/Orvel Murmelin.exe")
