# The MFC-shaped platform layer.
add_library(afx STATIC
  src/afx_core.cpp
  src/afx_sync.cpp
  src/afx_wnd.cpp
  src/afx_gdi.cpp
  src/afx_thread.cpp
  src/afx_app.cpp
  src/afx_winmain.cpp)
target_include_directories(afx PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(afx PRIVATE orv_handles)
target_link_libraries(afx PUBLIC user32 gdi32 comctl32 ole32 oleaut32 uuid shlwapi)
orv_strict(afx)
