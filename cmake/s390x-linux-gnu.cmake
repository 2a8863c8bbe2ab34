# Linux on s390x (package g++-s390x-linux-gnu); see linux-cross.cmake.
set(VANTREL_CROSS_TRIPLE s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
