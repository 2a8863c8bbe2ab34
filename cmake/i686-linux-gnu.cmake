# Linux on i686 (package g++-i686-linux-gnu); see linux-cross.cmake.
set(VANTREL_CROSS_TRIPLE i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
