# The reader's language modules: resource-only DLLs (no code, no entry point), one per
# language, each with its own skin images drawn at build time by skin/make_skin.py.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(ORV_READER_BIN_DIR "${CMAKE_BINARY_DIR}/reader/bin")
set(_orv_lang_src "${CMAKE_CURRENT_LIST_DIR}")
set(_orv_skin_outputs 607 608 609 611 612 613 616 617 618 721 738)

# orv_language_module(<target> RC <file.rc> BADGE <code> OUTPUT_NAME <name> DIRECTORY <dir>)
# builds one module from a resource script that includes module.rch.
function(orv_language_module target)
  cmake_parse_arguments(M "" "RC;BADGE;OUTPUT_NAME;DIRECTORY" "" ${ARGN})
  set(skin "${CMAKE_BINARY_DIR}/reader/lang/skin/${M_BADGE}")
  set(images "")
  foreach(id IN LISTS _orv_skin_outputs)
    list(APPEND images "${skin}/${id}.png")
  endforeach()
  list(APPEND images "${skin}/main.ico")
  if(NOT TARGET orv_skin_${M_BADGE})
    add_custom_command(OUTPUT ${images}
      COMMAND "${Python3_EXECUTABLE}" "${_orv_lang_src}/skin/make_skin.py" --badge ${M_BADGE} --out "${skin}"
      DEPENDS "${_orv_lang_src}/skin/make_skin.py"
      COMMENT "Drawing the ${M_BADGE} skin images")
    add_custom_target(orv_skin_${M_BADGE} DEPENDS ${images})
  endif()

  add_library(${target} SHARED "${M_RC}")
  add_dependencies(${target} orv_skin_${M_BADGE})
  set_source_files_properties("${M_RC}" PROPERTIES OBJECT_DEPENDS
    "${images};${_orv_lang_src}/module.rch;${CMAKE_SOURCE_DIR}/reader/resource.h")
  target_include_directories(${target} PRIVATE "${skin}" "${_orv_lang_src}" "${CMAKE_SOURCE_DIR}/reader")
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME "${M_OUTPUT_NAME}" LINKER_LANGUAGE C
    RUNTIME_OUTPUT_DIRECTORY "${M_DIRECTORY}")
  # Nothing to run: no C runtime and an entry point of 0, so loading the module runs no code.
  target_link_options(${target} PRIVATE -nostdlib -Wl,-e,0)
endfunction()

foreach(_orv_lang english:EN polish:PL romanian:RO)
  string(REPLACE ":" ";" _orv_pair "${_orv_lang}")
  list(GET _orv_pair 0 _orv_name)
  list(GET _orv_pair 1 _orv_badge)
  orv_language_module(orv_lang_${_orv_name}
    RC "${_orv_lang_src}/${_orv_name}.rc" BADGE ${_orv_badge}
    OUTPUT_NAME ${_orv_name} DIRECTORY "${ORV_READER_BIN_DIR}/lang")
  add_custom_command(TARGET orv_lang_${_orv_name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${ORV_DIST}/Orvel Murmelin/lang"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:orv_lang_${_orv_name}>"
            "${ORV_DIST}/Orvel Murmelin/lang/${_orv_name}.dll")
endforeach()
add_custom_target(orv_language_modules DEPENDS orv_lang_english orv_lang_polish orv_lang_romanian)
