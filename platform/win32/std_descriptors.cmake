# Closed standard descriptors put on NUL: the C runtime's descriptor calls.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/std_descriptors_win32.cpp)
