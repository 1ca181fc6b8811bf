# What replacing a file through a temporary one needs: file attributes, link
# count, MoveFileEx, the final path of a handle.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_replace_win32.cpp)
