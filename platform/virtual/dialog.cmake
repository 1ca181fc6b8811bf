# kx9_dialog_virtual: the dialog framework of platform/dialog.h as an
# in-memory window system (platform/virtual_window_system.h). Portable: the
# native tests, the terminal program and the dialog tests under Wine use it.
# Its windows are made from the templates and resources of kx9_ui_resources.
add_library(kx9_dialog_virtual STATIC
  ${CMAKE_CURRENT_LIST_DIR}/desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows.cpp)
target_link_libraries(kx9_dialog_virtual PUBLIC kx9_platform kx9_ui_resources)
