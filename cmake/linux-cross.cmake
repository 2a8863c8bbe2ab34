# Cross-builds for Linux on another processor with Debian's cross compilers
# (package g++-<triple>), linked statically so that qemu-user runs the
# result without the target's libraries. Included by the toolchain file of
# each processor, which sets VANTREL_CROSS_TRIPLE and the processor first.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${VANTREL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VANTREL_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
