# One user per stick: a named mutex per device path.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/stick_lock_win32.cpp)
