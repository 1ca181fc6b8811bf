# Opening a file to read only when it is one on disk: GetFileAttributesA,
# GetFileType.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_open_win32.cpp)
