# The Linux hidraw HID driver: discovery from sysfs, capabilities from the
# report descriptor, overlapped I/O on the device node.
add_library(kx9_hid_hidraw STATIC
  ${CMAKE_CURRENT_LIST_DIR}/hidraw_descriptor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hidraw_sysfs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hidraw_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hidraw_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_hid_posix.cpp)
target_link_libraries(kx9_hid_hidraw PUBLIC kx9_platform)
# The terminal program takes the machine's driver by this name on every system.
add_library(kx9_hid_system ALIAS kx9_hid_hidraw)
