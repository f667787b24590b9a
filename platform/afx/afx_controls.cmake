# Dialogs, dialog data exchange and the standard and common controls of the layer.
target_sources(afx PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/afxdialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/afxcmn.cpp)
