# GDI+ and a language module as the resource module around a skinned window, shared by the
# controls' tests and benchmark (orv_skin_session).
add_library(orv_skin_session STATIC ${CMAKE_CURRENT_LIST_DIR}/skin/SkinSession.cpp)
target_include_directories(orv_skin_session PUBLIC ${CMAKE_CURRENT_LIST_DIR}/skin)
target_link_libraries(orv_skin_session PUBLIC afx orv_handles gdiplus comctl32)
orv_strict(orv_skin_session)
