# Requests to stop held during a write: sigaction(2).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/stop_signals_posix.cpp)
