# Whether a file may be replaced by a new one: stat(2).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/own_file_posix.cpp)
