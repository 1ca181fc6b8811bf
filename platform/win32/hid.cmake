# The Windows HID driver: DirectInput 8 for discovery, hid.dll for the
# capability queries, overlapped file I/O for the reports. Every library
# here is either static (dxguid) or imports a DLL that Windows ships.
add_library(kx9_hid_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/hid_win32_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hid_win32_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_hid_win32.cpp)
target_link_libraries(kx9_hid_win32 PUBLIC kx9_platform PRIVATE dinput8 dxguid hid)
# The terminal program takes the machine's driver by this name on every system.
add_library(kx9_hid_system ALIAS kx9_hid_win32)
