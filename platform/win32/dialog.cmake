# kx9_dialog_win32: the dialog framework of platform/dialog.h over plain
# Win32. Executables link it instead of the virtual window system.
add_library(kx9_dialog_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dialog_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_modal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_window.cpp)
target_link_libraries(kx9_dialog_win32 PUBLIC kx9_platform user32 gdi32 comctl32 comdlg32)
