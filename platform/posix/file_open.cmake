# Opening a file to read only when it is a regular one: open(2) without
# blocking, fstat(2).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_open_posix.cpp)
