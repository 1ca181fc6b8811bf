# Whether a file may be replaced by a new one: its link count.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/own_file_win32.cpp)
