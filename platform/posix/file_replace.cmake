# What replacing a file through a temporary one needs: lstat(2), chmod(2),
# rename(2), realpath(3).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_replace_posix.cpp)
