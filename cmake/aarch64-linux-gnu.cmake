# Linux on aarch64 (package g++-aarch64-linux-gnu); see linux-cross.cmake.
set(VANTREL_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
