# The language table: shared by the reader and the installer plug-in, so it stands alone.
add_library(orv_languagetable STATIC ${CMAKE_CURRENT_LIST_DIR}/LanguageTable.cpp)
target_include_directories(orv_languagetable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
orv_strict(orv_languagetable)
